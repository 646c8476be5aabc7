#include "supported_types_tab.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "supported_types.h"

namespace folvane::gui {

SupportedTypesTab::SupportedTypesTab(QWidget* parent) : SheetPage(app::OutputSettings{}, std::string(), parent)
{
    setObjectName(QStringLiteral("supportedPage"));
    auto* layout = new QVBoxLayout(this);
    auto* list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("supportedList"));
    list->setHeaderLabels({QStringLiteral("Supported Image Type")});
    list->setColumnWidth(0, 400);
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setStyleSheet(QStringLiteral("QTreeWidget::item { border-bottom: 1px solid #d0d0d0; }"));
    for (const QString& type : supportedImageTypes())
        new QTreeWidgetItem(list, {type});
    layout->addWidget(list);
}

} // namespace folvane::gui
