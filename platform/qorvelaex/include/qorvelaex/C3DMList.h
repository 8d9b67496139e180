// The host's list: the basic list, unchanged.
#pragma once
#include "granite/CBasicList.h"

class C3DMList : public CBasicList {};
