// The process entry: the dialogue is the whole program; arguments are ignored.
#include "dialogue/dialogue.hpp"

int main() {
    return zorvanteli::run_dialogue();
}
