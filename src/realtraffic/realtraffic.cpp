#include "realtraffic/realtraffic.h"
