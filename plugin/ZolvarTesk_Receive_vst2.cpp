// The VST2 module's entry points, creating a receiver per call.
#include "ZolvarTesk_Receive.h"

ZT_VST2_ENTRY_POINTS(ZolvarTesk_Receive)
