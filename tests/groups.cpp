#include "tests/groups.h"

namespace groups {

namespace {

using board::BOARD_SIZE;

bool onBoard(int32_t x, int32_t y) {
    return x >= 1 && y >= 1 && x <= BOARD_SIZE && y <= BOARD_SIZE;
}

bool hasPartner(const board::Grid& codes, int32_t x, int32_t y) {
    const int32_t code = board::at(codes, x, y);
    if (code == board::EMPTY) {
        return false;
    }
    for (const auto& [nx, ny] : {std::array{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}}) {
        if (onBoard(nx, ny) && board::at(codes, nx, ny) == code) {
            return true;
        }
    }
    return false;
}

}  // namespace

board::Grid wholeGroup(const board::Grid& codes, int32_t x, int32_t y) {
    board::Grid group{};
    const int32_t colour = board::at(codes, x, y);
    CellList open = {{x, y}};
    board::at(group, x, y) = 1;
    while (!open.empty()) {
        const auto [cx, cy] = open.back();
        open.pop_back();
        for (const auto& [nx, ny] :
             {std::array{cx + 1, cy}, {cx - 1, cy}, {cx, cy + 1}, {cx, cy - 1}}) {
            if (onBoard(nx, ny) && board::at(codes, nx, ny) == colour &&
                board::at(group, nx, ny) == 0) {
                board::at(group, nx, ny) = 1;
                open.push_back({nx, ny});
            }
        }
    }
    return group;
}

int32_t cellCount(const board::Grid& cells) {
    int32_t count = 0;
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            count += board::at(cells, x, y);
        }
    }
    return count;
}

CellList cellsWithAPartner(const board::Grid& codes) {
    CellList cells;
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (hasPartner(codes, x, y)) {
                cells.push_back({x, y});
            }
        }
    }
    return cells;
}

bool hasMoves(const board::Grid& codes) {
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            if (hasPartner(codes, x, y)) {
                return true;
            }
        }
    }
    return false;
}

std::array<int32_t, board::COLOUR_COUNT> colourCounts(const board::Grid& codes) {
    std::array<int32_t, board::COLOUR_COUNT> counts{};
    for (int32_t x = 1; x <= BOARD_SIZE; ++x) {
        for (int32_t y = 1; y <= BOARD_SIZE; ++y) {
            for (int32_t h = 1; h <= board::COLOUR_COUNT; ++h) {
                if (board::at(codes, x, y) == board::colourCode(h)) {
                    ++counts[static_cast<size_t>(h - 1)];
                }
            }
        }
    }
    return counts;
}

}  // namespace groups
