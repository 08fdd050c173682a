/* Declarations of this subsystem are added as it is built. */
#ifndef KELO_DLL_GROUP_H
#define KELO_DLL_GROUP_H

#include "api.h"

KELO_BEGIN_DECLS

KELO_END_DECLS

#endif
