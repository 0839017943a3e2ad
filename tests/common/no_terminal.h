// Shared by the unit tests and the fuzz targets: a test process that has no
// controlling terminal, so that no pause of the program can wait for a key.
#pragma once

namespace trevox::testing_support {

// Gives up the controlling terminal, if the process has one; the program's
// console then finds none, as in CI.
void give_up_controlling_terminal();

} // namespace trevox::testing_support
