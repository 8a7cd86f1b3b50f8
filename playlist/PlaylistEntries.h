#pragma once

#include <QString>

// The playlist list as the user sees it: entry texts in playing order and one selected
// entry. Changing the selection from code raises the list's click notification, as a
// user's click does.
class PlaylistEntries {
public:
    virtual ~PlaylistEntries() = default;

    virtual int count() const = 0;
    virtual QString text(int row) const = 0;
    // -1 when no entry is selected.
    virtual int currentRow() const = 0;
    virtual void setCurrentRow(int row) = 0;
    virtual void insert(int row, const QString &text) = 0;
    virtual void remove(int row) = 0;
    virtual void clear() = 0;

    // The selected entry's text, "" when none is selected.
    QString currentText() const
    {
        const int row = currentRow();
        return row >= 0 && row < count() ? text(row) : QString();
    }
};
