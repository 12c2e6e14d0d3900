#include "ads/AdvData.h"

AdvData::AdvData() {}
