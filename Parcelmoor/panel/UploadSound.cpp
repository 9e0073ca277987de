#include "UploadSound.h"

namespace pm {

QString preferenceKey(UploadSound sound) {
  switch (sound) {
    case UploadSound::complete:
      return QStringLiteral("uploadCompleteSound");
    case UploadSound::warning:
      return QStringLiteral("uploadWarningSound");
    case UploadSound::failed:
      return QStringLiteral("uploadFailedSound");
  }
  return {};
}

QString soundName(UploadSound sound) {
  switch (sound) {
    case UploadSound::complete:
      return QStringLiteral("complete");
    case UploadSound::warning:
      return QStringLiteral("dialog-warning");
    case UploadSound::failed:
      return QStringLiteral("dialog-error");
  }
  return {};
}

}  // namespace pm
