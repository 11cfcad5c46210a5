"""SMPTE ST 12-1 timecode in exact integer arithmetic.

Rates are named as the bextkit command names them: "23.976", "24", "25", "29.97" (drop-frame),
"29.97nd", "30", "47.952", "48", "50", "59.94" (drop-frame), "59.94nd", "60"; also as fractions
("30000/1001") and as editors write them ("29.97DF", "23.98"). A rate or label that is none
raises ValueError with the reason.

    >>> smpte.frames_from_label("01:00:00;00", "29.97")
    107892
"""

from ._bextkit import smpte as _smpte

frame_start = _smpte.frame_start
frames_from_label = _smpte.frames_from_label
frames_per_day = _smpte.frames_per_day
is_drop_frame = _smpte.is_drop_frame
label_from_frames = _smpte.label_from_frames
parse_rate = _smpte.parse_rate
position_of_sample = _smpte.position_of_sample
rates = _smpte.rates
why_illegal = _smpte.why_illegal

__all__ = [
    "frame_start", "frames_from_label", "frames_per_day", "is_drop_frame", "label_from_frames",
    "parse_rate", "position_of_sample", "rates", "why_illegal",
]
