// Control hosting of the framework (AfxEnableControlContainer is declared with the window classes).
#pragma once

#include "afxwin.h"
