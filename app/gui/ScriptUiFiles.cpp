// What the script layer asks of files that takes a while: opening many and saving many, each off
// the main thread, with one progress dialog for the batch.
#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "app/gui/ScriptUi.h"
#include "app/host/ScriptHost.h"
#include "bwf/BWFParser.h"
#include "bwf/FileScan.h"
#include "platform/FilePaths.h"

namespace bextkit {

namespace {

// A progress dialog shown once the work lasts, updated from the worker threads through the
// event loop; it may be gone (the window closed) by the time an update arrives.
QPointer<QProgressDialog> progressDialog(QWidget* window, const QString& label, int steps,
                                         bool cancel) {
  auto* dialog =
      new QProgressDialog(label, cancel ? QObject::tr("Cancel") : QString(), 0, steps, window);
  dialog->setWindowModality(Qt::WindowModal);
  dialog->setMinimumDuration(400);
  dialog->setAutoReset(false);
  dialog->setAutoClose(false);
  return dialog;
}

void showProgress(QObject* context, QPointer<QProgressDialog> dialog, int value,
                  const QString& label = {}) {
  QMetaObject::invokeMethod(
      context,
      [dialog, value, label] {
        if (!dialog) return;
        if (!label.isEmpty()) dialog->setLabelText(label);
        dialog->setValue(value);
      },
      Qt::QueuedConnection);
}

QString identityText(const FileIdentity& identity) {
  return QString::number(identity.device) + ":" + QString::number(identity.inode);
}

}  // namespace

bool ScriptUi::saveInBackground(const QJSValue& parser, const QString& label,
                                const QJSValue& callback) {
  const QJSValue handleValue = parser.property("__handle");
  if (!handleValue.isNumber()) return false;
  const auto handle = static_cast<bridge::Handle>(handleValue.toUInt());
  BWFParser* object = host_.bridge().lend(handle);
  if (!object) return false;
  saveAll({{handle, object}}, label, [this, callback](const QStringList& reasons) {
    callBack(callback, {QJSValue(reasons.first().isEmpty())});
  });
  return true;
}

void ScriptUi::saveAllInBackground(const QJSValue& parsers, const QString& label,
                                   const QJSValue& callback) {
  const quint32 count = parsers.property("length").toUInt();
  std::vector<std::pair<bridge::Handle, BWFParser*>> lent;
  std::vector<int> busy;  // parsers that cannot be saved: by their place among those given
  for (quint32 i = 0; i < count; ++i) {
    const QJSValue handleValue = parsers.property(i).property("__handle");
    BWFParser* object = handleValue.isNumber()
                            ? host_.bridge().lend(static_cast<bridge::Handle>(handleValue.toUInt()))
                            : nullptr;
    if (object) {
      lent.emplace_back(static_cast<bridge::Handle>(handleValue.toUInt()), object);
    } else {
      busy.push_back(static_cast<int>(i));
    }
  }
  saveAll(std::move(lent), label, [this, callback, busy, count](const QStringList& saved) {
    QStringList reasons;
    auto next = saved.begin();
    for (int i = 0; i < static_cast<int>(count); ++i) {
      const bool isBusy = std::find(busy.begin(), busy.end(), i) != busy.end();
      reasons << (isBusy ? tr("busy: the file is being saved already") : *next++);
    }
    callBack(callback, {host_.engine().toScriptValue(reasons)});
  });
}

void ScriptUi::saveAll(std::vector<std::pair<bridge::Handle, BWFParser*>> parsers,
                       const QString& label, std::function<void(const QStringList&)> done) {
  const int count = static_cast<int>(parsers.size());
  // Each file counts a thousand steps, so that one long save (a chunk inserted before a
  // gigabyte of audio) moves the bar too.
  const QPointer<QProgressDialog> dialog = progressDialog(window_, label, count * 1000, count > 1);
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  if (dialog) {
    connect(dialog, &QProgressDialog::canceled, this, [cancelled] { *cancelled = true; });
  }
  auto reasons = std::make_shared<QStringList>();
  runApart(
      [this, parsers, dialog, cancelled, reasons, count, label] {
        for (int i = 0; i < count; ++i) {
          BWFParser* parser = parsers[static_cast<size_t>(i)].second;
          if (*cancelled) {
            *reasons << tr("not saved: the batch was cancelled before this file");
            continue;
          }
          if (count > 1) {
            showProgress(this, dialog, i * 1000,
                         tr("%1 (%2 of %3)").arg(label).arg(i + 1).arg(count));
          }
          parser->setSaveProgress([this, dialog, i](uint64_t copied, uint64_t total) {
            showProgress(this, dialog,
                         i * 1000 + (total == 0 ? 1000 : static_cast<int>(copied * 1000 / total)));
          });
          const bool saved = parser->saveFile();
          parser->setSaveProgress({});
          *reasons << (saved ? QString() : QString::fromStdString(parser->lastError()));
        }
      },
      [this, parsers, dialog, reasons, done] {
        for (const auto& [handle, parser] : parsers) host_.bridge().giveBack(handle);
        delete dialog.data();
        done(*reasons);
      });
}

void ScriptUi::openInBackground(const QStringList& paths, const QStringList& known,
                                const QJSValue& callback) {
  struct Opened {
    std::string path;
    QString identity;
    std::unique_ptr<BWFParser> parser;
    std::string refusal;
  };
  struct Batch {
    std::vector<std::string> paths;
    QStringList known;
    std::vector<Opened> files;
    QStringList notes;
  };
  auto batch = std::make_shared<Batch>();
  // Absolute names, so that a table exported from the window names its files wherever it is
  // imported from.
  for (const QString& path : paths)
    batch->paths.push_back(QFileInfo(path).absoluteFilePath().toStdString());
  batch->known = known;
  const QPointer<QProgressDialog> dialog =
      progressDialog(window_, tr("Reading the files\u2026"), 0, false);
  runApart(
      [this, batch, dialog] {
        PathList list = expandPaths(batch->paths, true);
        for (const std::string& error : list.errors) {
          batch->files.push_back(
              {error.substr(0, error.find(": ")), {}, nullptr, error.substr(error.find(": ") + 2)});
        }
        for (const std::string& note : list.notes) batch->notes << QString::fromStdString(note);
        for (size_t i = 0; i < list.files.size(); ++i) {
          const std::string& path = list.files[i];
          const std::optional<FileIdentity>& identity = list.identities[i];
          const QString id = identity ? identityText(*identity) : QString();
          if (!id.isEmpty() && batch->known.contains(id)) {
            batch->notes << QString::fromStdString(path) + tr(": open already");
            continue;
          }
          batch->files.push_back({path, id, nullptr, {}});
        }
        const int total = static_cast<int>(batch->files.size());
        showProgress(this, dialog, 0);
        QMetaObject::invokeMethod(
            this,
            [dialog, total] {
              if (dialog) dialog->setMaximum(total);
            },
            Qt::QueuedConnection);
        // The files are read on every core: each scan waits on the disk as much as it works.
        std::atomic<size_t> next = 0, finished = 0;
        const auto work = [&] {
          for (size_t i = next++; i < batch->files.size(); i = next++) {
            Opened& file = batch->files[i];
            if (file.refusal.empty()) file.parser = scanFile(file.path, 25.0F, file.refusal);
            const size_t done = ++finished;
            if (done % 16 == 0) showProgress(this, dialog, static_cast<int>(done));
          }
        };
        std::vector<std::thread> threads(std::max(1U, std::thread::hardware_concurrency()) - 1);
        for (std::thread& thread : threads) thread = std::thread(work);
        work();
        for (std::thread& thread : threads) thread.join();
      },
      [this, batch, dialog, callback] {
        delete dialog.data();
        QJSEngine& engine = host_.engine();
        QJSValue opened = engine.newArray(), refused = engine.newArray();
        quint32 openedCount = 0, refusedCount = 0;
        for (Opened& file : batch->files) {
          const QString path = QString::fromStdString(file.path);
          if (!file.parser) {
            refused.setProperty(refusedCount++, path + ": " + QString::fromStdString(file.refusal));
            continue;
          }
          QJSValue record = engine.newObject();
          record.setProperty("path", path);
          record.setProperty("identity", file.identity);
          record.setProperty("parser",
                             host_.toScript(host_.bridge().adopt(std::move(file.parser))));
          opened.setProperty(openedCount++, record);
        }
        callBack(callback, {opened, refused, engine.toScriptValue(batch->notes)});
      });
}

}  // namespace bextkit
