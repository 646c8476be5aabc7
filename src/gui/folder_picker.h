#pragma once
// FolderPicker: the folder chooser of Add Folder. Under the folder tree an editable path box
// shows the chosen folder (a typed folder is selected in the tree), and below it come
// " Include Subfolder" and the labelled "Format Filter" list (all supported types, or one type).
// It opens at the remembered folder, selected and scrolled into view.
// A Qt dialog lays out its own controls, so they follow the dialog's size by themselves.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

class QFileSystemModel;

namespace folvane::gui {

class FolderPicker : public QDialog {
    Q_OBJECT
public:
    // `prompt` is shown above the tree; an empty caption keeps the default one.
    FolderPicker(QWidget* owner, const QString& prompt, const QString& initialFolder, bool includeSubfolders,
                 int filterIndex, const QString& caption = QString());

    // Offers the "Natural order" box (page2 before page10), ticked as given. Without this call
    // the box is not shown.
    void offerNaturalOrder(bool natural);

    // Shows the dialog modally. True with the results filled when a folder was chosen.
    bool run();

    // Results, valid after run() returned true (and, for the two choices, after it returned).
    // The folder carries a trailing "/"; it is empty when the choice is no existing folder.
    QString result() const { return m_result; }
    bool includeSubfolders() const { return m_includeSubfolders; }
    int filterIndex() const { return m_filterIndex; }
    bool naturalOrder() const { return m_naturalOrder; }

    // The folder selected in the tree right now; tests choose through it.
    QString selectedFolder() const;
    void selectFolder(const QString& folder);
    QCheckBox* subfolderCheck() const { return m_subfolders; }
    QComboBox* filterCombo() const { return m_filter; }
    QCheckBox* naturalOrderCheck() const { return m_natural; }
    QTreeView* folderTree() const { return m_tree; }
    QLineEdit* pathEdit() const { return m_path; }

    void done(int result) override;

    // The 64 entries of the format list: "All Support", then "BMP", "GIF", "JPG", ... "XWD".
    static QStringList formatFilterTexts();
    // "allsupport" for 0, ".bmp" ... ".xwd" for 1 to 63, empty for any other index.
    static QString filterForIndex(int index);

private:
    QFileSystemModel* m_model;
    QTreeView* m_tree;
    QLineEdit* m_path; // hidden; follows the selection
    QCheckBox* m_subfolders;
    QComboBox* m_filter;
    QCheckBox* m_natural;
    QString m_result;
    bool m_includeSubfolders;
    int m_filterIndex;
    bool m_naturalOrder = false;
    bool m_rowsGoing = false; // the model is removing rows; current moves are not choices
    bool m_typing = false;    // the tree follows the path box; its moves do not rewrite the box
    QString m_pending;        // the remembered folder, selected once the tree has read it
};

} // namespace folvane::gui
