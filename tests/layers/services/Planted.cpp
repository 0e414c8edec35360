// Reaches from a service to one desktop's realisation instead of its interface.
#include "platform/GlobalHotkeys.h"
#include "platform/x11/X11GlobalHotkeys.h"
