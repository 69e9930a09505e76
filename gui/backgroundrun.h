#pragma once
// Runs a command's engine work on a worker thread while the window's event
// loop goes on, so the window keeps painting and answering its window
// manager. For the length of the run the worker owns the engine state and the
// console channel; the window sees the run's output only through a
// ConsoleHandoff, shown about 30 times a second.
#include <functional>

namespace duolink {

class EngineState;
class LiveDisplay;

// Returns once `work` has ended and everything it wrote is shown, rethrowing
// what it threw. Meanwhile the calling thread runs a local event loop: the
// caller must keep user input away from whatever `work` uses.
// `work` may use `engine`, whose sinks lead to `live` meanwhile.
void runInBackground(EngineState& engine, LiveDisplay& live, const std::function<void()>& work);

} // namespace duolink
