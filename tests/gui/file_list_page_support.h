#pragma once
// Helpers of the file-list page tests: scratch files and a page whose message boxes are
// answered by the test.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QString>

#include <vector>

#include "app/settings_location.h"
#include "gui_test_support.h"
#include "file_list_page.h"

namespace folvane::test {

// A fresh folder below the suite's scratch folder.
inline QString freshFolder(const QString& name)
{
    QString folder = scratchFolder() + QStringLiteral("/list/") + name;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

inline QString writeBytes(const QString& path, qsizetype size)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(size, 'x'));
    return path;
}

// A small picture in the format of the path's extension ("png", "bmp", "jpg").
inline QString writePicture(const QString& path, QColor colour = Qt::darkCyan)
{
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(colour);
    image.save(path);
    return path;
}

// `qpdf --check` passes (exit 0; warnings give 3).
inline bool qpdfCheck(const QString& pdf)
{
    QProcess process;
    process.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf});
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The message boxes a page showed, answered with `answer`.
struct MessageLog {
    struct Shown {
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
    };
    std::vector<Shown> shown;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

    void attach(gui::FileListPage& page)
    {
        page.setMessageHook([this](const QString& text, QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
            shown.push_back({text, buttons, icon});
            return answer;
        });
    }
};

inline app::SettingsLocation listLocation() { return {settingsPath(), false}; }

} // namespace folvane::test
