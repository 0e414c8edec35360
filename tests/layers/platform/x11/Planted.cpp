// A realisation may use its interface and other realisations, never what sits above them.
#include "platform/GlobalHotkeys.h"
#include "platform/x11/X11Support.h"
#include "models/ChatViewModel.h"
