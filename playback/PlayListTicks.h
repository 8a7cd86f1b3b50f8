#pragma once

// The play list's tick boxes as the play queue sees them: one per song of the run. Setting a
// tick from code raises the list's tick notification, as the user's click does.
class PlayListTicks {
public:
    virtual ~PlayListTicks() = default;

    virtual int count() const = 0;
    virtual bool isTicked(int row) const = 0;
    virtual void setTicked(int row, bool ticked) = 0;
    // Marks the entry as the list's current one.
    virtual void setCurrent(int row) = 0;
};
