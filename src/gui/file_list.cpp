#include "file_list.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <algorithm>

#include "app/settings_schema.h"

namespace folvane::gui {

const char* const FileList::kAddFilesItem = "Add Files...";
const char* const FileList::kAddFolderItem = "Add Folder...";
const char* const FileList::kRemoveItem = "Remove";
const char* const FileList::kClearAllItem = "Clear All";
const char* const FileList::kUpItem = "Up";
const char* const FileList::kDownItem = "Down";
const char* const FileList::kSelectAllItem = "Select All";
const char* const FileList::kOpenSourceItem = "Open Source File";
const char* const FileList::kOpenOutputItem = "Open Output";

namespace {

enum Column { kPathColumn, kSizeColumn, kTypeColumn, kPdfColumn, kStatusColumn, kColumnCount };

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

} // namespace

QString PathDelegate::elidePath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    QString name = path.mid(slash + 1);
    QString folder = path.left(slash + 1);
    int nameWidth = metrics.horizontalAdvance(name);
    int ellipsis = metrics.horizontalAdvance(QStringLiteral("\u2026/"));
    if (slash < 0 || nameWidth + ellipsis > width)
        return metrics.elidedText(name, Qt::ElideMiddle, width);
    return metrics.elidedText(folder, Qt::ElideMiddle, width - nameWidth) + name;
}

void PathDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The text area is the cell less the style's margins on both sides.
    const QWidget* widget = option->widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    int width = option->rect.width() - 2 * margin;
    if (option->features & QStyleOptionViewItem::HasDecoration)
        width -= option->decorationSize.width() + margin;
    option->text = elidePath(option->text, option->fontMetrics, width);
}

FileList::FileList(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("fileList"));
    setColumnCount(kColumnCount);
    setHeaderLabels({QStringLiteral("Image Files (0)"), QStringLiteral("Size"), QStringLiteral("Type"),
                     QStringLiteral("PDF Files"), QStringLiteral("Status")});
    static const int widths[kColumnCount] = {140, 70, 70, 100, 60};
    for (int column = 0; column < kColumnCount; ++column) {
        setColumnWidth(column, widths[column]);
        headerItem()->setTextAlignment(column, column == kPathColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                                      : Qt::AlignCenter);
    }
    header()->setStretchLastSection(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The image and PDF paths keep their file names visible; the full path is the tooltip.
    auto* paths = new PathDelegate(this);
    setItemDelegateForColumn(kPathColumn, paths);
    setItemDelegateForColumn(kPdfColumn, paths);
    // The path column takes the room the window gives the list; the short columns fit their
    // texts in the desktop's font, and the PDF column starts wide enough for a numbered name.
    header()->setSectionResizeMode(kPathColumn, QHeaderView::Stretch);
    for (int column : {kSizeColumn, kTypeColumn, kStatusColumn})
        header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    setColumnWidth(kPdfColumn, fontMetrics().horizontalAdvance(QString::fromLatin1(app::kDefaultMergedFileName.data(), static_cast<qsizetype>(app::kDefaultMergedFileName.size()))) + 16);
    header()->setMinimumSectionSize(fontMetrics().horizontalAdvance(QStringLiteral("Size")) + 16);
}

QString FileList::text(size_t row, int column) const
{
    QTreeWidgetItem* item = topLevelItem(static_cast<int>(row));
    return item ? item->text(column) : QString();
}

void FileList::fillItem(size_t row)
{
    QTreeWidgetItem* item = topLevelItem(static_cast<int>(row));
    const jobs::FileRow& data = m_rows[row];
    item->setText(kPathColumn, fromUtf8(data.path));
    item->setToolTip(kPathColumn, fromUtf8(data.path));
    item->setToolTip(kPdfColumn, fromUtf8(data.plannedName));
    item->setText(kSizeColumn, fromUtf8(data.sizeText));
    item->setText(kTypeColumn, fromUtf8(data.typeText));
    item->setText(kPdfColumn, fromUtf8(data.plannedName));
    item->setText(kStatusColumn, statusText(data.status));
    // A failed row says why in its status tooltip.
    item->setToolTip(kStatusColumn, data.status == jobs::kStateFailed && !data.failure.empty()
                                        ? fromUtf8(data.failure)
                                        : QString());
    for (int column = kSizeColumn; column < kColumnCount; ++column)
        item->setTextAlignment(column, Qt::AlignCenter);
}

void FileList::appendRow(jobs::FileRow row)
{
    m_rows.push_back(std::move(row));
    addTopLevelItem(new QTreeWidgetItem);
    fillItem(m_rows.size() - 1);
    selectOnly(m_rows.size() - 1);
    setFocus();
}

void FileList::setRows(std::vector<jobs::FileRow> rows)
{
    std::vector<size_t> selected = selectedRows();
    clear();
    m_rows = std::move(rows);
    for (size_t i = 0; i < m_rows.size(); ++i) {
        addTopLevelItem(new QTreeWidgetItem);
        fillItem(i);
    }
    selected.erase(std::remove_if(selected.begin(), selected.end(), [&](size_t r) { return r >= m_rows.size(); }),
                   selected.end());
    selectRows(selected);
}

void FileList::setStatus(size_t row, const std::string& status)
{
    if (row >= m_rows.size())
        return;
    m_rows[row].status = status;
    fillItem(row);
}

void FileList::reorder(const std::vector<size_t>& previousIndex)
{
    if (previousIndex.size() != m_rows.size())
        return;
    std::vector<jobs::FileRow> sorted;
    sorted.reserve(m_rows.size());
    for (size_t index : previousIndex) {
        if (index >= m_rows.size())
            return;
        sorted.push_back(m_rows[index]);
    }
    m_rows = std::move(sorted);
    for (size_t i = 0; i < m_rows.size(); ++i)
        fillItem(i);
}

void FileList::setPlannedNames(const std::function<std::string(const std::string& path)>& plannedName)
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        m_rows[i].plannedName = plannedName(m_rows[i].path);
        topLevelItem(static_cast<int>(i))->setText(kPdfColumn, fromUtf8(m_rows[i].plannedName));
        topLevelItem(static_cast<int>(i))->setToolTip(kPdfColumn, fromUtf8(m_rows[i].plannedName));
    }
}

std::vector<size_t> FileList::selectedRows() const
{
    std::vector<size_t> rows;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            rows.push_back(static_cast<size_t>(i));
    return rows;
}

void FileList::selectRows(const std::vector<size_t>& rows)
{
    clearSelection();
    bool first = true;
    for (size_t row : rows) {
        QTreeWidgetItem* item = topLevelItem(static_cast<int>(row));
        if (!item)
            continue;
        if (first)
            setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
        first = false;
        item->setSelected(true);
        scrollToItem(item);
    }
}

size_t FileList::removeSelected()
{
    std::vector<size_t> selected = selectedRows();
    if (selected.empty())
        return 0;
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        delete takeTopLevelItem(static_cast<int>(*it));
        m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(*it));
    }
    if (!m_rows.empty()) {
        size_t first = selected.front();
        selectOnly(first > 0 ? std::min(first - 1, m_rows.size() - 1) : 0);
    }
    return selected.size();
}

void FileList::removeAll()
{
    clear();
    m_rows.clear();
}

bool FileList::moveUp()
{
    std::vector<size_t> selected = selectedRows();
    if (selected.empty() || selected.front() == 0)
        return false;
    for (size_t& row : selected) {
        std::swap(m_rows[row], m_rows[row - 1]);
        fillItem(row);
        fillItem(row - 1);
        row -= 1;
    }
    selectRows(selected);
    setFocus();
    return true;
}

bool FileList::moveDown()
{
    std::vector<size_t> selected = selectedRows();
    if (selected.empty() || selected.back() + 1 >= m_rows.size())
        return false;
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        std::swap(m_rows[*it], m_rows[*it + 1]);
        fillItem(*it);
        fillItem(*it + 1);
        *it += 1;
    }
    selectRows(selected);
    setFocus();
    return true;
}

void FileList::updateCountHeader()
{
    headerItem()->setText(kPathColumn, QStringLiteral("Image Files (%1)").arg(m_rows.size()));
}

QString FileList::statusText(const std::string& status)
{
    // The job's "Succeed" reads as "Done" in the list; the log keeps the job's word.
    if (status == jobs::kStateSucceed)
        return QStringLiteral("Done");
    return fromUtf8(status);
}

QMenu* FileList::makeContextMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    bool haveRows = !m_rows.empty();
    bool haveSelection = !selectedRows().empty();
    auto add = [&](const char* text, void (FileList::*signal)(), bool enabled, QKeySequence keys = {}) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setEnabled(enabled);
        // The key is shown beside the item; the list itself handles it (keyPressEvent).
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, signal);
    };
    add(kAddFilesItem, &FileList::addFilesRequested, true);
    add(kAddFolderItem, &FileList::addFolderRequested, true);
    menu->addSeparator();
    add(kRemoveItem, &FileList::removeRequested, haveSelection, QKeySequence(Qt::Key_Delete));
    add(kClearAllItem, &FileList::clearAllRequested, haveRows);
    menu->addSeparator();
    add(kUpItem, &FileList::upRequested, haveSelection);
    add(kDownItem, &FileList::downRequested, haveSelection);
    menu->addSeparator();
    add(kSelectAllItem, &FileList::selectAllRequested, haveRows, QKeySequence(Qt::CTRL | Qt::Key_A));
    menu->addSeparator();
    add(kOpenSourceItem, &FileList::openSourceRequested, true);
    add(kOpenOutputItem, &FileList::openOutputRequested, true);
    return menu;
}

void FileList::keyPressEvent(QKeyEvent* event)
{
    if (m_locked) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit removeRequested();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_A && (event->modifiers() & Qt::ControlModifier)) {
        emit selectAllRequested();
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void FileList::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (m_locked)
        return;
    QMenu* menu = makeContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace folvane::gui
