// The exports of an AAX module: every AAX deliverable compiles this file, with the plug-in class,
// its header and its type IDs named by the build rule (cmake/Plugins.cmake).
#include ZT_PLUGIN_HEADER
#include "iplug/aax/AAXEntry.h"

ZT_AAX_ENTRY_POINTS(ZT_PLUGIN_CLASS, ZT_AAX_TYPE_IDS)
