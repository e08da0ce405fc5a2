// The entry points of a VST2 module: every VST2 deliverable compiles this file, with the plug-in
// class and its header named by the build rule (cmake/Plugins.cmake).
#include ZT_PLUGIN_HEADER

ZT_VST2_ENTRY_POINTS(ZT_PLUGIN_CLASS)
