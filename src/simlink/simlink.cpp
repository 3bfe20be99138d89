#include "simlink/simlink.h"
