#pragma once
// AboutPage: the fourth page of the main window. Names the program and its version, gives the
// support addresses as links, opens the help page beside the program and runs the update check.

#include <QLabel>

#include <functional>

#include "gui_common.h"

namespace folvane::gui {

class AboutPage : public KeySwallowingPage {
    Q_OBJECT
public:
    explicit AboutPage(QWidget* parent = nullptr);

    static const QString kHomePage;
    static const QString kSupportMail;

    // Opens a link, a mail address or a local file; QDesktopServices::openUrl unless replaced
    // (tests record the address instead of starting a browser).
    static void setUrlOpener(std::function<void(const QUrl&)> opener);
    static void openUrl(const QUrl& url);

public slots:
    void openHelp();
    void checkForUpdates();
};

// A text label that shows a hand cursor and opens its target when clicked.
QLabel* makeLinkLabel(const QString& text, const QUrl& target, QWidget* parent);

} // namespace folvane::gui
