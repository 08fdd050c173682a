/* Declarations of this subsystem are added as it is built. */
#ifndef KELO_DLL_DISCOVERY_H
#define KELO_DLL_DISCOVERY_H

#include "api.h"

KELO_BEGIN_DECLS

KELO_END_DECLS

#endif
