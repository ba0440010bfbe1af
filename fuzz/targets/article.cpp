// Articles and revisions: the parsers against a plain model of their rules, the text forms parse
// back, and the adapter variants move only among a valve base article's twins.

#include "common/article.hpp"

#include <string>

#include "article_model.hpp"
#include "fuzz_support.hpp"

namespace {

using common::Article;
using common::Revision;

bool same_revision(const Revision& got, const fuzz::ModelRevision& want) {
    return got.major == want.major && got.minor == want.minor;
}

void check_parsers(const std::string& text) {
    const fuzz::ModelRevisionOutcome want_revision = fuzz::model_parse_revision(text);
    const auto revision = common::parse_revision(text);
    if (want_revision.revision) {
        FUZZ_CHECK(revision && same_revision(*revision, *want_revision.revision));
        FUZZ_CHECK(revision->to_string() == fuzz::model_revision_text(*want_revision.revision));
        FUZZ_CHECK(common::parse_revision(revision->to_string()) == *revision);
    } else {
        FUZZ_CHECK(!revision &&
                   fuzz::same_error(revision.error(), base::ErrorKind::InvalidInput, want_revision.message));
    }

    const fuzz::ModelArticle want = fuzz::model_parse_article(text);
    const auto article = common::parse_article(text);
    if (!want.index) {
        FUZZ_CHECK(!article && fuzz::same_error(article.error(), want.error.kind, want.error.message));
        const auto with_revision = common::parse_article_revision(text);
        FUZZ_CHECK(!with_revision && with_revision.error() == article.error());
        return;
    }
    FUZZ_CHECK(article && common::index_of(article->article) == *want.index);
    FUZZ_CHECK(article->revision.has_value() == want.revision.has_value());
    const auto with_revision = common::parse_article_revision(text);
    if (!want.revision) {
        FUZZ_CHECK(!with_revision && fuzz::same_error(with_revision.error(), base::ErrorKind::InvalidInput,
                                                      "Expected a Revision"));
        FUZZ_CHECK(common::to_string(article->article) == text);
        return;
    }
    FUZZ_CHECK(same_revision(*article->revision, *want.revision));
    FUZZ_CHECK(with_revision && with_revision->article == article->article &&
               with_revision->revision == *article->revision);
    // The text form is the canonical one: the catalogue text and the revision in lower case.
    const std::string canonical =
        std::string(fuzz::CATALOGUE[*want.index]) + "-" + fuzz::model_revision_text(*want.revision);
    FUZZ_CHECK(with_revision->to_string() == canonical);
}

// Every value's text form parses back to it.
void check_round_trip(std::size_t index, int major, int minor) {
    const common::ArticleRevision value{
        static_cast<Article>(index),
        Revision{static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor)}};
    const std::string text = value.to_string();
    FUZZ_CHECK(text == std::string(fuzz::CATALOGUE[index]) + "-" + fuzz::model_revision_text({major, minor}));
    FUZZ_CHECK(common::parse_article_revision(text) == value);
    FUZZ_CHECK(common::to_string(value.article) == fuzz::CATALOGUE[index]);
    const auto alone = common::parse_article(fuzz::CATALOGUE[index]);
    FUZZ_CHECK(alone && alone->article == value.article && !alone->revision);
}

// The kind and the variant follow from the catalogue text, and a variant change is the text's change.
void check_variants(std::size_t index, common::AdapterVariant wanted) {
    const std::string_view text = fuzz::CATALOGUE[index];
    const Article article = static_cast<Article>(index);
    const auto kind = text.starts_with("QZT410")   ? common::DeviceKind::Valve
                      : text.starts_with("QZT-KX") ? common::DeviceKind::KX
                      : text.starts_with("QZTJRX") ? common::DeviceKind::JRX
                                                   : common::DeviceKind::WQ;
    FUZZ_CHECK(common::device_kind(article) == kind);
    const auto current = text.ends_with("-KD2M")   ? common::AdapterVariant::Kd2m
                         : text.ends_with("-KD1N") ? common::AdapterVariant::Kd1n
                                                   : common::AdapterVariant::None;
    FUZZ_CHECK(common::adapter_variant_of(article) == current);

    std::string changed(text);
    if (current != common::AdapterVariant::None) changed.resize(changed.size() - 5);
    if (wanted == common::AdapterVariant::Kd1n) changed += "-KD1N";
    if (wanted == common::AdapterVariant::Kd2m) changed += "-KD2M";
    Article moved = article;
    const auto result = common::with_adapter_variant(moved, wanted);
    if (wanted == current) {
        FUZZ_CHECK(result && moved == article);
    } else if (const auto target = fuzz::model_catalogue_index(changed)) {
        FUZZ_CHECK(result && common::index_of(moved) == *target);
        FUZZ_CHECK(common::adapter_variant_of(moved) == wanted);
    } else {
        FUZZ_CHECK(!result && moved == article &&
                   fuzz::same_error(result.error(), base::ErrorKind::InvalidInput,
                                    changed + " is not a recognised article"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::size_t index = in.byte() % common::ARTICLE_COUNT;
    const std::uint8_t digits = in.byte();
    const std::uint8_t variant = in.byte();
    check_round_trip(index, digits >> 4, digits & 0x0F);
    check_variants(index, static_cast<common::AdapterVariant>(variant % 3));

    // Texts near the catalogue are more telling than random ones: the input may start from an
    // article's text and add its own tail.
    std::string text = in.rest();
    if (variant >= 128) text = std::string(fuzz::CATALOGUE[index]) + text;
    check_parsers(text);
    return 0;
}
