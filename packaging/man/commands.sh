#!/bin/sh
# Prints a help2man include file whose COMMANDS section holds every command that
# `PROGRAM --help` lists under "Subcommands:": its usage, what it does and its options, as
# `PROGRAM COMMAND --help` gives them, so that the manual page says what the help says.
# Usage: commands.sh PROGRAM > commands.h2m
set -eu
program=$1

# The help is read before it is parsed, so that a program that fails fails the page.
help=$("$program" --help)
commands=$(printf '%s\n' "$help" |
  awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || { echo "commands.sh: $program --help lists no commands" >&2; exit 1; }

echo '[COMMANDS]'
for command in $commands; do
  help=$("$program" "$command" --help)
  printf '%s\n' "$help" | awk '
    # Text as roff: backslashes and hyphens escaped, a leading control character defused.
    function roff(text) {
      gsub(/\\/, "\\e", text)
      gsub(/-/, "\\-", text)
      sub(/^[.'"'"']/, "\\\\\\&&", text)
      return text
    }
    # The names of an entry in bold (options) or italics (a positional), the rest as it stands.
    function term(text,   names, rest, n, i, out) {
      rest = text
      sub(/^[^ ]+/, "", rest)
      n = split(substr(text, 1, length(text) - length(rest)), names, ",")
      for (i = 1; i <= n; ++i) {
        out = out (i > 1 ? ", " : "") (names[i] ~ /^-/ ? "\\fB" : "\\fI") roff(names[i]) "\\fR"
      }
      return out roff(rest)
    }
    function flush() {
      if (name != "" && name !~ /^-h,--help/) print ".TP\n" term(name) "\n" roff(text)
      name = ""
    }
    # What the command does, its usage line, then entries under headings ("Options:").
    !usage && /^Usage: / {
      usage = 1
      sub(/^Usage: /, "")
      print ".SS \"" roff($0) "\"\n" about
      next
    }
    !usage { about = about (about == "" ? "" : "\n") roff($0); next }
    /^[A-Z][a-z]*:$/ { flush(); next }
    # An entry: its names padded to the column of the texts (found from the help entry), its
    # text there or, when the names are longer, on the next lines.
    !column && /^  -h,--help +/ { match($0, /^  -h,--help +/); column = RLENGTH }
    /^      / { sub(/^ +/, ""); text = text (text == "" ? "" : " ") $0; next }
    /^  [^ ]/ {
      flush()
      width = column ? column : 30
      name = substr($0, 3, width - 2)
      text = substr($0, width + 1)
      if (length($0) > width && substr(name, width - 2) != " ") {  # names past the column
        name = substr($0, 3)
        text = ""
      }
      sub(/ +$/, "", name)
      next
    }
    END { flush() }
  '
done

# The rules of check, as `check --list-rules` prints them: code, severity, rule set, then the
# source and an example.
echo '[CHECK RULES]'
printf '%s\n' 'Each finding of \fBbextkit check\fR has one of these codes; house rules (\fB\-\-ignore\fR,' \
  '\fB\-\-severity\fR, a \fI.bextkit\-check\fR file) name them.'
"$program" check --list-rules | awk '
  function roff(text) { gsub(/\\/, "\\e", text); gsub(/-/, "\\-", text); return text }
  function trim(text) { sub(/ +$/, "", text); return text }
  {
    print ".TP\n\\fB" roff(trim(substr($0, 1, 30))) "\\fR (" roff(trim(substr($0, 32, 17))) "; " \
          roff(trim(substr($0, 50, 9))) ")\n" roff(substr($0, 60))
  }'
