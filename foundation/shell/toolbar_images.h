#pragma once
// The toolbar's button images and the programs' icons, drawn by us in code.
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <span>

#include "foundation/shell/persistent_frame.h"
#include "resources/command_table.h"

namespace kv::shell {

constexpr int kButtonWidth = 32;
constexpr int kButtonHeight = 24;

// One 32 x 24 button picture.
QImage ButtonImage(res::ButtonArt art);
// The images of the toolbar's buttons side by side in button order,
// separators skipped: 32 x 24 each.
QImage ButtonStrip(std::span<const res::ToolbarButton> toolbar);
// The arrow of both programs' labelled cursors, tip at (x, y) on the
// half-pixel grid, as the desktop's own arrows are shaped.
QPainterPath CursorArrowPath(double x, double y);

// The program's window and about-box icon.
QIcon ProgramIcon(ProgramKind kind);
QImage ProgramIconImage(ProgramKind kind, int size);

}  // namespace kv::shell
