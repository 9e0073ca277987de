#pragma once

#include <QString>

#include <array>

namespace pm::settings {

// The pages of the settings window, in sidebar order.
enum class Page { account, apps, advanced };

inline constexpr std::array<Page, 3> kAllPages{Page::account, Page::apps, Page::advanced};

// "Account", "Apps", "Advanced": the sidebar row's text and the window title.
QString title(Page page);
// The symbol name the row shows ("person.text.rectangle", "cloud", "gearshape.2").
QString symbolName(Page page);
// "sidebar." followed by the case's name: the row's object name.
QString sidebarIdentifier(Page page);

}  // namespace pm::settings
