#include "scan/sinks.h"
