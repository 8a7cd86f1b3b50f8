#include "playlist/FolderIndentDelegate.h"

namespace {

constexpr int indentPerLevel = 10;

} // namespace

int FolderIndentDelegate::indentOf(const QModelIndex &index)
{
    return index.data(depthRole).toInt() * indentPerLevel;
}

void FolderIndentDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem indented(option);
    indented.rect.setLeft(indented.rect.left() + indentOf(index));
    QStyledItemDelegate::paint(painter, indented, index);
}

QSize FolderIndentDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(index), 0);
}
