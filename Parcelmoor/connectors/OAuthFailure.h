#pragma once

#include <QString>

#include <exception>
#include <string>

namespace pm {

// Why a drive sign-in ended without tokens. Only `refused` carries a text for the user (the provider's);
// each connector turns the other cases into its own message.
class OAuthFailure final : public std::exception {
 public:
  enum class Kind {
    refused,        // the provider or the user said no
    notConfigured,  // this build has no OAuth client identifier for the provider
    noAnswer,       // no usable redirect in time, no listener, or a newer sign-in took over
    badResponse,    // a redirect or token answer could not be used
  };

  static OAuthFailure refused(QString text) { return OAuthFailure(Kind::refused, std::move(text)); }
  static OAuthFailure notConfigured() { return OAuthFailure(Kind::notConfigured); }
  static OAuthFailure noAnswer() { return OAuthFailure(Kind::noAnswer); }
  static OAuthFailure badResponse() { return OAuthFailure(Kind::badResponse); }

  Kind kind() const { return kind_; }
  // The provider's text of `refused`; empty otherwise.
  const QString& text() const { return text_; }
  // For log lines: the refusal text, or what the case means.
  const char* what() const noexcept override { return what_.c_str(); }

  bool operator==(const OAuthFailure& other) const { return kind_ == other.kind_ && text_ == other.text_; }

 private:
  explicit OAuthFailure(Kind kind, QString text = {});

  Kind kind_;
  QString text_;
  std::string what_;
};

// "The sign-in was refused.": the refusal text when the provider names no reason.
QString signInRefusedText();

}  // namespace pm
