#include "about_page.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "install_paths.h"
#include "update_dialog.h"
#include "version.h"

namespace folvane::gui {

const QString AboutPage::kHomePage = QStringLiteral("https://www.quillmar.example/folvane/");
const QString AboutPage::kSupportMail = QStringLiteral("support@quillmar.example");

namespace {
std::function<void(const QUrl&)>& urlOpener()
{
    static std::function<void(const QUrl&)> opener;
    return opener;
}
} // namespace

void AboutPage::setUrlOpener(std::function<void(const QUrl&)> opener) { urlOpener() = std::move(opener); }

void AboutPage::openUrl(const QUrl& url)
{
    if (urlOpener())
        urlOpener()(url);
    else
        QDesktopServices::openUrl(url);
}

QLabel* makeLinkLabel(const QString& text, const QUrl& target, QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toString().toHtmlEscaped(),
                                                                        text.toHtmlEscaped()),
                             parent);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    label->setCursor(Qt::PointingHandCursor);
    label->setOpenExternalLinks(false);
    QObject::connect(label, &QLabel::linkActivated, label,
                     [](const QString& link) { AboutPage::openUrl(QUrl(link)); });
    return label;
}

AboutPage::AboutPage(QWidget* parent) : KeySwallowingPage(parent)
{
    setObjectName(QStringLiteral("aboutPage"));
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(dluX(14), dluY(14), dluX(14), dluY(10));
    layout->setSpacing(dluY(8));

    auto* version = new QLabel(QStringLiteral("Quillmar %1  -  %2").arg(kCaption, QStringLiteral("Version: ") + QString::fromLatin1(kVersionText)), this);
    version->setObjectName(QStringLiteral("versionLine"));
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    layout->addWidget(version);

    auto* group = new QGroupBox(QStringLiteral("Feedback and Support"), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setSpacing(dluY(5));
    groupLayout->addWidget(new QLabel(QStringLiteral("We provide free technical support."), group));
    auto* homeRow = new QHBoxLayout;
    homeRow->addWidget(new QLabel(QStringLiteral("Home Page:"), group));
    QLabel* home = makeLinkLabel(kHomePage, QUrl(kHomePage), group);
    home->setObjectName(QStringLiteral("homeLink"));
    homeRow->addWidget(home);
    homeRow->addStretch();
    groupLayout->addLayout(homeRow);
    groupLayout->addWidget(new QLabel(QStringLiteral("If you have any questions, please email to:"), group));
    QLabel* mail = makeLinkLabel(kSupportMail, QUrl(QStringLiteral("mailto:") + kSupportMail), group);
    mail->setObjectName(QStringLiteral("mailLink"));
    groupLayout->addWidget(mail);
    layout->addWidget(group);
    layout->addStretch();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* help = new QPushButton(QStringLiteral("Help"), this);
    help->setObjectName(QStringLiteral("helpButton"));
    auto* update = new QPushButton(QStringLiteral("Check for Updates..."), this);
    update->setObjectName(QStringLiteral("updateButton"));
    buttons->addWidget(help);
    buttons->addWidget(update);
    layout->addLayout(buttons);

    connect(help, &QPushButton::clicked, this, &AboutPage::openHelp);
    connect(update, &QPushButton::clicked, this, &AboutPage::checkForUpdates);
}

void AboutPage::openHelp()
{
    openUrl(QUrl::fromLocalFile(QString::fromStdString(helpFilePath())));
}

void AboutPage::checkForUpdates()
{
    UpdateDialog dialog(this);
    dialog.exec();
}

} // namespace folvane::gui
