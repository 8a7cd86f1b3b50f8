#pragma once

// Design sizes of the window, in twips, that several places build on.
namespace windowGeometry {

// The full window's client area.
constexpr int clientWidth = 9615;
constexpr int clientHeight = 6390;

// The left column's width: the playlist, the playing label, the path label and the
// copy-all button under the path box.
constexpr int listWidth = 3855;

} // namespace windowGeometry
