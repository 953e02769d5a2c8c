// Runs an update at most once per turn of the event loop however many store signals ask for it:
// the results widgets rebuild from the store's signals this way, so a store operation that
// changes several fields costs one rebuild, made after the store has finished changing them (and
// before the window paints, see TurnEndCall).
//
// Thread safety: the owner's thread only.
#pragma once

#include "store/async/turn_end_call.h"

namespace lorvex::ui {

using OncePerTurn = TurnEndCall;

}  // namespace lorvex::ui
