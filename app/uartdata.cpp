#include "app/uartdata.h"

UartDataRecord UartData;
