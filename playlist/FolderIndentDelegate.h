#pragma once

#include <QStyledItemDelegate>

// Draws each folder of the folder list indented by its depth, so the chain from the root
// down to the open folder reads as a tree while the texts stay plain folder names.
class FolderIndentDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int depthRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    static int indentOf(const QModelIndex &index);
};
