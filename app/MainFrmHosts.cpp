#include "MainFrm.h"

namespace norvane::app {

void TMainForm::loadKnownHosts()
{
}

void TMainForm::saveKnownHosts()
{
}

} // namespace norvane::app
