#include "playlist/PlaylistEditor.h"

PlaylistEditor::PlaylistEditor(PlaylistEntries &entries, std::function<void()> fileSelection)
    : m_entries(entries), m_fileSelection(std::move(fileSelection))
{
}

void PlaylistEditor::Add(const QString &selectedFullPath, const QString &selectedShortPath)
{
    // A file that vanished since it was listed has no short path, and an entry without
    // text stands for nothing; a second entry of one song would share its full path.
    if (selectedShortPath.isEmpty() || contains(selectedShortPath)) {
        m_fileSelection();
        return;
    }
    PlaylistChanged = true;
    if (m_entries.count() > 0 && !m_entries.currentText().isEmpty()) {
        const int row = m_entries.currentRow() + 1;
        m_entries.insert(row, selectedShortPath);
        m_entries.setCurrentRow(row);
    } else {
        m_entries.insert(m_entries.count(), selectedShortPath);
    }
    if (!FilePaths.contains(selectedShortPath))
        FilePaths.insert(selectedShortPath, selectedFullPath);
    m_fileSelection();
}

void PlaylistEditor::Remove(const QString &selectedShortPath)
{
    PlaylistChanged = true;
    for (int row = 0; row < m_entries.count(); ++row) {
        if (m_entries.text(row) == selectedShortPath) {
            FilePaths.remove(m_entries.text(row));
            m_entries.remove(row);
            break;
        }
    }
    m_fileSelection();
}

void PlaylistEditor::RemoveEntry()
{
    const int row = m_entries.currentRow();
    if (row < 0 || row >= m_entries.count())
        return;
    m_removingEntry = true;
    PlaylistChanged = true;
    FilePaths.remove(m_entries.text(row));
    m_entries.remove(row);
    if (row < m_entries.count())
        m_entries.setCurrentRow(row);
    else if (m_entries.count() > 0)
        m_entries.setCurrentRow(m_entries.count() - 1);
    else
        m_entries.setCurrentRow(-1);
    m_removingEntry = false;
}

void PlaylistEditor::dragStart()
{
    DragIndex = m_entries.currentRow();
    DragText = m_entries.currentText();
}

void PlaylistEditor::dragStep()
{
    movePending();
    DragIndex = m_entries.currentRow();
    DragText = m_entries.currentText();
}

std::optional<QString> PlaylistEditor::releaseLeft()
{
    QString fullPath;
    if (m_entries.count() > 0) {
        const QString text = m_entries.currentText();
        if (text.isEmpty() || !FilePaths.contains(text))
            return std::nullopt;
        fullPath = FilePaths.value(text);
    }
    movePending();
    return fullPath;
}

void PlaylistEditor::movePending()
{
    const int to = m_entries.currentRow();
    if (DragIndex < 0 || DragIndex >= m_entries.count() || m_entries.text(DragIndex) != DragText || to < 0 ||
        to == DragIndex)
        return;
    m_entries.remove(DragIndex);
    m_entries.insert(to, DragText);
    m_entries.setCurrentRow(to);
    PlaylistChanged = true;
}

void PlaylistEditor::reset()
{
    m_entries.clear();
    FilePaths.clear();
}

bool PlaylistEditor::appendLoaded(const QString &shortPath, const QString &fullPath)
{
    if (shortPath.isEmpty() || FilePaths.contains(shortPath))
        return false;
    m_entries.insert(m_entries.count(), shortPath);
    FilePaths.insert(shortPath, fullPath);
    return true;
}

bool PlaylistEditor::contains(const QString &shortPath) const
{
    for (int row = 0; row < m_entries.count(); ++row)
        if (m_entries.text(row) == shortPath)
            return true;
    return false;
}

QStringList PlaylistEditor::fullPaths() const
{
    QStringList paths;
    for (int row = 0; row < m_entries.count(); ++row)
        paths.append(FilePaths.value(m_entries.text(row)));
    return paths;
}
