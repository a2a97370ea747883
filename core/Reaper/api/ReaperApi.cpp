#include "api/ReaperApi.h"

namespace reaper
{
#define BV_DEFINE_POINTER(returnType, name, parameters) returnType (*name) parameters = nullptr;
BV_REAPER_FUNCTIONS (BV_DEFINE_POINTER)
#undef BV_DEFINE_POINTER
} // namespace reaper
