#include "reports/reportoutput.h"
