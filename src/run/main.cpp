#include "run/run.h"

int main(int argc, char** argv) {
    return trevox::run_main(argc, argv);
}
