#pragma once

#include "playlist/PlaylistEntries.h"

class QListWidget;

// The playlist's entries as the window's list widget holds them.
class ListWidgetEntries final : public PlaylistEntries {
public:
    explicit ListWidgetEntries(QListWidget *list);

    int count() const override;
    QString text(int row) const override;
    int currentRow() const override;
    void setCurrentRow(int row) override;
    void insert(int row, const QString &text) override;
    void remove(int row) override;
    void clear() override;

private:
    QListWidget *m_list;
};
