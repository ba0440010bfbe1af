#pragma once

#include <string_view>

#include "base/error.hpp"
#include "common/article.hpp"
#include "common/eui.hpp"

namespace common {

// The join EUI that devices of this article are listed with after an update.
[[nodiscard]] base::Result<Eui> article_join_eui(Article article);

// The firmware release that an update to this article at this revision installs.
[[nodiscard]] base::Result<std::string_view> firmware_release_for(const ArticleRevision& target);

}  // namespace common
