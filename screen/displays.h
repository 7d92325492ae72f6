// The game's own drawing: the board with its colour legend, the outline and info text of
// the marked group, the score line and the game-over panel.
#pragma once

namespace displays {

void redrawBoard();
void showGroup();
void showScore();
void showEndPanel();

}  // namespace displays
