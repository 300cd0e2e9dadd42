#include "qvapal/status/tStatus.h"
