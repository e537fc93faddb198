// The Windows backend's part of com.h: the system's own COM and OLE
// Automation declarations.
#pragma once
#include <objbase.h>
#include <objsafe.h>
#include <oleauto.h>
