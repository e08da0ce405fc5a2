// The binary contract compiles on its own: this file includes nothing before it. Its records
// keep the layout both sides were built with.
#include "iplug/aax/support/AAX_Interfaces.h"

static_assert(sizeof(acfUID) == 16);
static_assert(sizeof(AAX_Point) == 8);
static_assert(sizeof(AAX_CMidiPacket) == 16);
static_assert(offsetof(AAX_CMidiStream, packets) == 8);
static_assert(kAAXChunkHeaderBytes == 56);
static_assert(kAAXErrorUnknownParameter == -20001 && kAAXErrorNullObject == -20004 &&
              kAAXErrorChunkIndex == -20006 && kAAXErrorUnimplemented == -20009 &&
              kACFUnexpected == static_cast<AAX_Result>(0x8000FFFFu));
