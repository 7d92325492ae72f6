#include "control/control.h"

int main() {
    control::run();
}
