#pragma once
// Whether a transfer's reading and writing should each have a thread: only
// when the machine has a processor to spare.  On a busy machine the threads
// would only take turns on the processors the others leave, and handing the
// rows between them costs more than it saves; one thread then does both.

#include <optional>

namespace spareprocessor {

// True when at least one processor is free now: the machine is watched
// for a moment (the caller's thread sleeps meanwhile), and what was seen
// holds for a few seconds.  The window thread never sleeps for it: there
// the last thing seen answers, or else the load of the last minute.
bool available();

// Tests set the answer (nullopt: ask the machine again).
void pretend(std::optional<bool> answer);

}  // namespace spareprocessor
