// The benchmark's floor: the least an SDL2 program can do to show the game's window. It opens
// the same 496 x 592 window with the same hints and presentation path as the game's host (an
// 8-bit surface with the palette, blitted to the window surface), draws a 15 x 15 board once,
// outlines the tile under the pointer when the pointer enters another cell, removes the tile
// under a left press and repaints the whole board then, and otherwise sleeps in SDL_WaitEvent.
// Esc ends it.
#include <SDL.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <ctime>

#include "screen/palette.h"

namespace {

constexpr int32_t N = 15;
constexpr int32_t PITCH = 32;
constexpr int32_t MARGIN = 8;
constexpr int32_t TILE = 29;
constexpr int32_t RING = 2;  // the outline sits this far inside the tile
constexpr int32_t WIDTH = N * PITCH + 16;
constexpr int32_t HEIGHT = N * PITCH + 112;
constexpr int32_t OUTLINE_OFFSET = 32;  // outline palette index = fill index + 32
constexpr Uint8 EMPTY = 0;

SDL_Window* window = nullptr;
SDL_Surface* frame = nullptr;
std::array<std::array<Uint8, N + 1>, N + 1> tiles{};  // [x][y], 1..N used; 0 is empty
int32_t hoverX = 0;                                   // cell outlined now, 0 for none
int32_t hoverY = 0;

int32_t cellLeft(int32_t cell) {
    return MARGIN + PITCH * (cell - 1);
}

int32_t pixelToCell(int32_t p) {
    return (p - MARGIN) / PITCH + 1;
}

bool onBoard(int32_t x, int32_t y) {
    return x >= 1 && x <= N && y >= 1 && y <= N;
}

SDL_Rect tileRect(int32_t x, int32_t y) {
    return {cellLeft(x), cellLeft(y), TILE, TILE};
}

void fill(SDL_Rect rect, Uint8 colour) {
    SDL_FillRect(frame, &rect, colour);
}

void drawTile(int32_t x, int32_t y) {
    fill(tileRect(x, y), tiles[static_cast<size_t>(x)][static_cast<size_t>(y)]);
}

void outlineTile(int32_t x, int32_t y) {
    const Uint8 code = tiles[static_cast<size_t>(x)][static_cast<size_t>(y)];
    if (code == EMPTY) {
        return;
    }
    const auto colour = static_cast<Uint8>(code + OUTLINE_OFFSET);
    const int32_t left = cellLeft(x) + RING;
    const int32_t top = cellLeft(y) + RING;
    const int32_t side = TILE - 2 * RING;
    fill({left, top, side, 1}, colour);
    fill({left, top + side - 1, side, 1}, colour);
    fill({left, top, 1, side}, colour);
    fill({left + side - 1, top, 1, side}, colour);
}

void present(const SDL_Rect* rects, int count) {
    SDL_Surface* target = SDL_GetWindowSurface(window);
    if (target == nullptr) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        SDL_Rect to = rects[i];
        SDL_BlitSurface(frame, &rects[i], target, &to);
    }
    SDL_UpdateWindowSurfaceRects(window, rects, count);
}

void presentAll() {
    const SDL_Rect all = {0, 0, WIDTH, HEIGHT};
    present(&all, 1);
}

void drawBoard() {
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            drawTile(x, y);
        }
    }
}

void hover(int32_t x, int32_t y) {
    if (x == hoverX && y == hoverY) {
        return;
    }
    std::array<SDL_Rect, 2> changed{};
    int count = 0;
    if (onBoard(hoverX, hoverY)) {
        drawTile(hoverX, hoverY);
        changed[static_cast<size_t>(count++)] = tileRect(hoverX, hoverY);
    }
    hoverX = x;
    hoverY = y;
    if (onBoard(x, y)) {
        outlineTile(x, y);
        changed[static_cast<size_t>(count++)] = tileRect(x, y);
    }
    present(changed.data(), count);
}

void press(int32_t x, int32_t y) {
    if (!onBoard(x, y)) {
        return;
    }
    tiles[static_cast<size_t>(x)][static_cast<size_t>(y)] = EMPTY;
    drawBoard();
    const SDL_Rect board = {MARGIN, MARGIN, N * PITCH, N * PITCH};
    present(&board, 1);
}

}  // namespace

int main() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return 1;
    }
    window = SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, WIDTH,
                              HEIGHT, SDL_WINDOW_SHOWN);
    frame = SDL_CreateRGBSurfaceWithFormat(0, WIDTH, HEIGHT, 8, SDL_PIXELFORMAT_INDEX8);
    if (window == nullptr || frame == nullptr) {
        return 1;
    }
    std::array<SDL_Color, 256> colours{};
    for (size_t i = 0; i < colours.size(); ++i) {
        colours[i] = {surface::DEFAULT_PALETTE[i][0], surface::DEFAULT_PALETTE[i][1],
                      surface::DEFAULT_PALETTE[i][2], 255};
    }
    SDL_SetPaletteColors(frame->format->palette, colours.data(), 0, 256);
    SDL_SetSurfaceBlendMode(frame, SDL_BLENDMODE_NONE);
    SDL_FillRect(frame, nullptr, 0);

    srand(static_cast<unsigned>(time(nullptr)));
    for (int32_t x = 1; x <= N; ++x) {
        for (int32_t y = 1; y <= N; ++y) {
            tiles[static_cast<size_t>(x)][static_cast<size_t>(y)] =
                static_cast<Uint8>(32 + 4 * (rand() % 5));
        }
    }
    drawBoard();
    presentAll();

    SDL_Event event;
    while (SDL_WaitEvent(&event) != 0) {
        switch (event.type) {
            case SDL_MOUSEMOTION:
                hover(pixelToCell(event.motion.x), pixelToCell(event.motion.y));
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (event.button.button == SDL_BUTTON_LEFT) {
                    press(pixelToCell(event.button.x), pixelToCell(event.button.y));
                }
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
                    presentAll();
                }
                break;
            case SDL_KEYDOWN:
                if (event.key.keysym.sym == SDLK_ESCAPE) {
                    _exit(0);  // as the game does: no tear-down after a wait
                }
                break;
            default:
                break;
        }
    }
    return 0;
}
