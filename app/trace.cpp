#include "app/trace.h"

Q_LOGGING_CATEGORY(lcTrace, "hygrovane.trace", QtInfoMsg)
