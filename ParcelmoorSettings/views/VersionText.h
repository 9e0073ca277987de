#pragma once

#include <QString>

namespace pm {
class BundleInfo;
}

namespace pm::settings {

// "1.4 (57)": the short version and the build number of `bundle`, an em dash for either one it lacks.
QString versionText(const BundleInfo& bundle);

}  // namespace pm::settings
