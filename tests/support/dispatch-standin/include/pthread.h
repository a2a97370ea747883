// The system's pthread.h plus the one call of macOS's that Linux spells differently:
// pthread_setname_np (name) names the calling thread. Linux keeps 15 bytes of a name; macOS
// keeps 63, which only the name's length shows.
#pragma once

#include_next <pthread.h>

#ifdef __cplusplus
#include <cstdio>

inline int pthread_setname_np (const char* name)
{
    char shortName[16] = {};
    std::snprintf (shortName, sizeof (shortName), "%s", name);
    return pthread_setname_np (pthread_self(), shortName);
}
#endif
