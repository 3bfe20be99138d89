#include "traffic/traffic.h"
