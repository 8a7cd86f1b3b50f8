#include "playlist/ListWidgetEntries.h"

#include <QListWidget>

#include <memory>

ListWidgetEntries::ListWidgetEntries(QListWidget *list) : m_list(list)
{
}

int ListWidgetEntries::count() const
{
    return m_list->count();
}

QString ListWidgetEntries::text(int row) const
{
    const QListWidgetItem *item = m_list->item(row);
    return item ? item->text() : QString();
}

int ListWidgetEntries::currentRow() const
{
    return m_list->currentRow();
}

void ListWidgetEntries::setCurrentRow(int row)
{
    m_list->setCurrentRow(row);
}

void ListWidgetEntries::insert(int row, const QString &text)
{
    m_list->insertItem(row, text);
}

void ListWidgetEntries::remove(int row)
{
    // takeItem hands the item over to us.
    const std::unique_ptr<QListWidgetItem> item(m_list->takeItem(row));
}

void ListWidgetEntries::clear()
{
    m_list->clear();
}
