// The station's icon, drawn rather than shipped as an image.
#pragma once

#include <QIcon>

namespace kws {

QIcon station_icon();

}  // namespace kws
