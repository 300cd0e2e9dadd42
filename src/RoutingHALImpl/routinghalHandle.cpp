#include "RoutingHALImpl/routinghalHandle.h"

QV_CONTEXT_HANDLE_EXPORTS_STATUS_LAST(routinghal, routinghal)
