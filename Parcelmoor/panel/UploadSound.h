#pragma once

#include <QString>

namespace pm {

// The outcomes of an upload session that the agent makes heard.
enum class UploadSound { complete, warning, failed };

// The shared preference that switches the outcome's sound off when it holds false.
QString preferenceKey(UploadSound sound);
// The sound theme's name of the outcome's sound.
QString soundName(UploadSound sound);

}  // namespace pm
