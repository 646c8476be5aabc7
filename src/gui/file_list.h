#pragma once
// FileList: the list of the file-list page. One row per image, in list order, with the columns
// "Image Files", "Size", "Type", "PDF Files" and "Status"; each row carries its FileRow, so the
// hidden converted flag moves and goes with the visible texts. Whole rows are selected, several
// at a time.
//
// The list only knows rows and the selection. Adding files, confirmations and the job live in
// the page, which the list reaches through its signals: the Del and Ctrl+A keys and the items of
// the context menu. While locked (a job runs) keys and the context menu are ignored.

#include <QFontMetrics>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <functional>
#include <string>
#include <vector>

#include "jobs/conversion_job.h"

namespace folvane::gui {

// Draws a path so that its file name stays readable: when the path is wider than its cell, the
// folder part is shortened in the middle ("/home/…/scans/page10.png"); only a file name wider
// than the cell by itself is shortened too.
class PathDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static QString elidePath(const QString& path, const QFontMetrics& metrics, int width);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

class FileList : public QTreeWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    // The texts of the context menu, in order; separators follow "Add Folder...", "Clear All",
    // "Down" and "Select All". Remove and Select All show their keys, Del and Ctrl+A.
    static const char* const kAddFilesItem;
    static const char* const kAddFolderItem;
    static const char* const kRemoveItem;
    static const char* const kClearAllItem;
    static const char* const kUpItem;
    static const char* const kDownItem;
    static const char* const kSelectAllItem;
    static const char* const kOpenSourceItem;
    static const char* const kOpenOutputItem;

    size_t rowCount() const { return m_rows.size(); }
    const std::vector<jobs::FileRow>& rows() const { return m_rows; }
    const jobs::FileRow& row(size_t index) const { return m_rows[index]; }
    QString text(size_t row, int column) const;

    // Appends a row; it becomes the only selected row, is scrolled into view and the list takes
    // the focus.
    void appendRow(jobs::FileRow row);
    // Replaces every row (after a job: statuses, converted flags and order as the job left them).
    void setRows(std::vector<jobs::FileRow> rows);
    void setStatus(size_t row, const std::string& status);
    // The rows were put in a new order: the row now at i was at previousIndex[i].
    void reorder(const std::vector<size_t>& previousIndex);
    // Recomputes the "PDF Files" column of every row from its path.
    void setPlannedNames(const std::function<std::string(const std::string& path)>& plannedName);

    // Selected rows in ascending order.
    std::vector<size_t> selectedRows() const;
    // Exactly these rows become selected; the first is focused, each is scrolled into view.
    void selectRows(const std::vector<size_t>& rows);
    void selectOnly(size_t row) { selectRows({row}); }

    // Removes the selected rows (from the last to the first); the row just before the first
    // removed one, or row 0, becomes the selected row. Returns the number removed.
    size_t removeSelected();
    void removeAll();
    // Every selected row moves one place up (down); nothing moves when the first (last) selected
    // row is already at the top (bottom). The moved rows stay selected. True when rows moved.
    bool moveUp();
    bool moveDown();

    // The first column's header: "Image Files (%d)" with the number of rows.
    void updateCountHeader();
    // The Status column's text for a row status: "-", "Done" or "Failed".
    static QString statusText(const std::string& status);

    void setLocked(bool locked) { m_locked = locked; }
    bool locked() const { return m_locked; }

    // The context menu with its items enabled by the current rows and selection; its actions
    // emit the signals below. The caller owns the menu.
    QMenu* makeContextMenu(QWidget* parent);

signals:
    void addFilesRequested();
    void addFolderRequested();
    void removeRequested();
    void clearAllRequested();
    void upRequested();
    void downRequested();
    void selectAllRequested();
    void openSourceRequested();
    void openOutputRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void fillItem(size_t row);

    std::vector<jobs::FileRow> m_rows;
    bool m_locked = false;
};

} // namespace folvane::gui
