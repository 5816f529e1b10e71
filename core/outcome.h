// How a workflow ended, as the worker wrapper, the command line and the tests read it.
#pragma once

namespace core {

enum class Outcome { Done, Refused, Cancelled, Failed };

}  // namespace core
