#include "folder_picker.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "gui_common.h"
#include "supported_types.h"

namespace folvane::gui {

QStringList FolderPicker::formatFilterTexts()
{
    QStringList texts{QStringLiteral("All Support")};
    texts << supportedTypeNames();
    return texts;
}

QString FolderPicker::filterForIndex(int index)
{
    if (index == 0)
        return QStringLiteral("allsupport");
    const QStringList& names = supportedTypeNames();
    if (index < 1 || index > names.size())
        return QString();
    return QLatin1Char('.') + names[index - 1].toLower();
}

FolderPicker::FolderPicker(QWidget* owner, const QString& prompt, const QString& initialFolder,
                           bool includeSubfolders, int filterIndex, const QString& caption)
    : QDialog(owner), m_includeSubfolders(includeSubfolders), m_filterIndex(filterIndex)
{
    if (!caption.isEmpty())
        setWindowTitle(caption);
    else
        setWindowTitle(QStringLiteral("Browse For Folder"));
    setFont(dialogFont());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(prompt, this));

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setRootPath(QDir::rootPath());
    // When the chosen folder vanishes, the view moves the current row to a neighbour. That move
    // is not the user's choice, so the chosen path stays (and is found missing on OK). These
    // connections come before the view's own so that the flag is set when the view reacts.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { m_rowsGoing = true; });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { m_rowsGoing = false; });
    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("folderTree"));
    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->header()->hide();
    layout->addWidget(m_tree, 1);

    // The chosen folder as a path that can also be typed or pasted; a typed folder that exists
    // is selected in the tree.
    auto* pathRow = new QHBoxLayout;
    auto* pathLabel = new QLabel(QStringLiteral("&Folder:"), this);
    m_path = new QLineEdit(initialFolder, this);
    m_path->setObjectName(QStringLiteral("folderPath"));
    m_path->setClearButtonEnabled(true);
    pathLabel->setBuddy(m_path);
    pathRow->addWidget(pathLabel);
    pathRow->addWidget(m_path, 1);
    layout->addLayout(pathRow);
    connect(m_path, &QLineEdit::textEdited, this, [this](const QString& text) {
        QModelIndex index = m_model->index(QDir::cleanPath(text));
        if (index.isValid() && QFileInfo(text).isDir()) {
            m_typing = true;
            m_tree->setCurrentIndex(index);
            m_tree->scrollTo(index);
            m_typing = false;
        }
    });

    auto* row = new QHBoxLayout;
    m_subfolders = new QCheckBox(QStringLiteral(" Include Subfolder"), this);
    m_subfolders->setChecked(includeSubfolders);
    auto* filterLabel = new QLabel(QStringLiteral("Format &Filter:"), this);
    m_filter = new QComboBox(this);
    filterLabel->setBuddy(m_filter);
    m_filter->setObjectName(QStringLiteral("Format Filter"));
    m_filter->setAccessibleName(QStringLiteral("Format Filter"));
    m_filter->addItems(formatFilterTexts());
    m_filter->setCurrentIndex(filterIndex >= 0 && filterIndex < m_filter->count() ? filterIndex : -1);
    m_filter->setMinimumWidth(74);
    m_natural = new QCheckBox(QStringLiteral("Natural order (page2 before page10)"), this);
    m_natural->setObjectName(QStringLiteral("naturalOrderCheck"));
    m_natural->hide();
    row->addWidget(m_subfolders);
    row->addWidget(m_natural);
    row->addStretch();
    row->addWidget(filterLabel);
    row->addWidget(m_filter);
    layout->addLayout(row);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!m_rowsGoing && !m_typing)
                    m_path->setText(m_model->filePath(current));
            });

    if (!initialFolder.isEmpty()) {
        selectFolder(initialFolder);
        // The tree reads folders in the background: the remembered folder is selected and
        // scrolled to again as each level arrives, until the user picks another one.
        m_pending = QDir::cleanPath(initialFolder);
        connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString&) {
            if (m_pending.isEmpty() || QDir::cleanPath(m_path->text()) != m_pending)
                return;
            QModelIndex index = m_model->index(m_pending);
            if (!index.isValid())
                return;
            m_typing = true;
            m_tree->setCurrentIndex(index);
            m_tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
            m_typing = false;
        });
    }
    resize(dluX(280), dluY(300));
}

void FolderPicker::offerNaturalOrder(bool natural)
{
    m_naturalOrder = natural;
    m_natural->setChecked(natural);
    m_natural->show();
}

QString FolderPicker::selectedFolder() const { return m_path->text(); }

void FolderPicker::selectFolder(const QString& folder)
{
    QModelIndex index = m_model->index(QDir::cleanPath(folder));
    if (index.isValid()) {
        m_tree->setCurrentIndex(index);
        m_tree->scrollTo(index);
    }
    m_path->setText(folder);
}

void FolderPicker::done(int result)
{
    // The choices are taken whatever way the dialog ends.
    m_includeSubfolders = m_subfolders->isChecked();
    m_filterIndex = m_filter->currentIndex();
    if (!m_natural->isHidden())
        m_naturalOrder = m_natural->isChecked();
    if (result == QDialog::Accepted) {
        QString folder = m_path->text();
        // Paths are stored as folders with a trailing "/"; a vanished or virtual choice is empty.
        if (!folder.isEmpty() && QDir(folder).exists()) {
            m_result = QDir(folder).absolutePath();
            if (!m_result.endsWith(QLatin1Char('/')))
                m_result += QLatin1Char('/');
        } else {
            m_result.clear();
        }
    }
    QDialog::done(result);
}

bool FolderPicker::run() { return exec() == QDialog::Accepted; }

} // namespace folvane::gui
