#include "rfid/tag_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr rfid::ScardCode NO_SERVICE = 0x8010001D;
constexpr rfid::ScardCode NO_READERS = 0x8010002E;
constexpr rfid::ScardCode UNKNOWN_READER = 0x80100009;
constexpr rfid::ScardCode INSUFFICIENT_BUFFER = 0x80100008;
constexpr rfid::ScardCode SHARING_VIOLATION = 0x8010000B;
constexpr rfid::ScardCode INVALID_HANDLE = 0x80100003;

const Bytes UID_A{0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};
const Bytes UID_B{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

Bytes with_status(Bytes reply, std::uint8_t sw1 = 0x90, std::uint8_t sw2 = 0x00) {
    reply.push_back(sw1);
    reply.push_back(sw2);
    return reply;
}

rfid::TagUid tag(const Bytes& bytes) {
    rfid::TagUid uid;
    std::copy_n(bytes.begin(), uid.bytes.size(), uid.bytes.begin());
    return uid;
}

// What one reader does when it is connected.
struct Reader {
    rfid::ScardCode connect = rfid::CODE_SUCCESS;  // CODE_REMOVED_CARD: empty
    Bytes reply = {};
    rfid::ScardCode transmit = rfid::CODE_SUCCESS;
};

// A scripted PC/SC service that keeps count of what is open.
class FakePcsc {
  public:
    rfid::ScardCode establish = rfid::CODE_SUCCESS;
    rfid::ScardCode size_query = rfid::CODE_SUCCESS;
    rfid::ScardCode fetch = rfid::CODE_SUCCESS;
    std::string list;                           // the service's list buffer, NULs included
    std::optional<std::uint32_t> fetched_size;  // a different size reported by the fetch
    std::map<std::string, Reader> readers;
    rfid::ScardCode disconnect = rfid::CODE_SUCCESS;
    rfid::ScardCode release = rfid::CODE_SUCCESS;

    int established = 0;
    std::set<rfid::ScardContext> open_contexts;
    std::set<rfid::ScardHandle> open_cards;
    std::vector<std::string> connected_names;
    bool fetch_buffer_was_null = false;
    std::vector<std::string> faults;  // misuse of the service that the test reports

    void lay_tags(const std::vector<std::string>& names, const Bytes& uid) {
        list.clear();
        for (const auto& name : names) list += name + '\0';
        list += '\0';
        for (const auto& name : names) readers[name] = Reader{rfid::CODE_SUCCESS, with_status(uid)};
    }

    rfid::PcscApi api() {
        rfid::PcscApi api;
        api.establish_context = [this](rfid::ScardContext& context) {
            if (establish != rfid::CODE_SUCCESS) return establish;
            context = 0x1000 + ++established;
            open_contexts.insert(context);
            return rfid::CODE_SUCCESS;
        };
        api.list_readers = [this](rfid::ScardContext context, char* buffer, std::uint32_t& size) {
            if (!open_contexts.contains(context)) faults.push_back("list on a closed context");
            if (buffer == nullptr) {
                size = static_cast<std::uint32_t>(list.size());
                return size_query;
            }
            if (fetch != rfid::CODE_SUCCESS) return fetch;
            if (size < list.size()) return INSUFFICIENT_BUFFER;
            fetch_buffer_was_null = false;
            std::memcpy(buffer, list.data(), list.size());
            size = fetched_size.value_or(static_cast<std::uint32_t>(list.size()));
            return rfid::CODE_SUCCESS;
        };
        api.connect = [this](rfid::ScardContext context, const char* name, rfid::ScardHandle& card,
                             std::uint32_t& protocol) {
            if (!open_contexts.contains(context)) faults.push_back("connect on a closed context");
            if (card != 0 || protocol != 0) faults.push_back("connect outputs not zeroed");
            connected_names.emplace_back(name);
            const auto reader = readers.find(name);
            if (reader == readers.end()) return UNKNOWN_READER;
            if (reader->second.connect != rfid::CODE_SUCCESS) return reader->second.connect;
            card = 0x2000 + connected_names.size();
            protocol = 2;
            open_cards.insert(card);
            card_readers[card] = name;
            return rfid::CODE_SUCCESS;
        };
        api.transmit = [this](rfid::ScardHandle card, std::uint32_t protocol,
                              std::span<const std::uint8_t> command, std::uint8_t* reply,
                              std::uint32_t& length) {
            if (!open_cards.contains(card)) faults.push_back("transmit on a closed card");
            if (protocol != 2) faults.push_back("transmit without the connected protocol");
            if (!std::equal(command.begin(), command.end(), rfid::GET_UID_APDU.begin(),
                            rfid::GET_UID_APDU.end())) {
                faults.push_back("transmit of another command");
            }
            if (length != 9) faults.push_back("reply buffer is not 9 bytes");
            if (std::any_of(reply, reply + length, [](std::uint8_t b) { return b != 0; })) {
                faults.push_back("reply buffer not zero-filled");
            }
            const Reader& reader = readers[card_readers[card]];
            if (reader.transmit != rfid::CODE_SUCCESS) return reader.transmit;
            if (reader.reply.size() > length) return INSUFFICIENT_BUFFER;
            std::copy(reader.reply.begin(), reader.reply.end(), reply);
            length = static_cast<std::uint32_t>(reader.reply.size());
            return rfid::CODE_SUCCESS;
        };
        api.disconnect = [this](rfid::ScardHandle card) {
            if (open_cards.erase(card) == 0) faults.push_back("disconnect of a closed card");
            return disconnect;
        };
        api.release_context = [this](rfid::ScardContext context) {
            if (open_contexts.erase(context) == 0) faults.push_back("release of a closed context");
            return release;
        };
        return api;
    }

    void expect_all_closed() const {
        EXPECT_TRUE(open_contexts.empty()) << open_contexts.size() << " contexts open";
        EXPECT_TRUE(open_cards.empty()) << open_cards.size() << " cards open";
        for (const auto& fault : faults) ADD_FAILURE() << fault;
    }

  private:
    std::map<rfid::ScardHandle, std::string> card_readers;
};

// One attempt's outcome: a UID, no tag, or an error message.
struct Outcome {
    std::optional<rfid::TagUid> uid = {};
    std::string error = {};
};

Outcome outcome_of(const base::Result<std::optional<rfid::TagUid>>& result) {
    if (!result) {
        EXPECT_EQ(result.error().kind, base::ErrorKind::Other);
        return {{}, result.error().message};
    }
    return {*result, {}};
}

// ---- one attempt over scripted services -------------------------------------------------------

struct AttemptCase {
    std::string name;
    std::function<void(FakePcsc&)> script;
    std::optional<Bytes> uid = {};  // expected UID; neither this nor `error`: no tag
    std::string error = {};
    std::vector<std::string> connected = {};  // the names tried, in order; empty: not checked

    friend void PrintTo(const AttemptCase& c, std::ostream* os) { *os << c.name; }
};

class ReadTagUidOnce : public testing::TestWithParam<AttemptCase> {};

TEST_P(ReadTagUidOnce, GivesTheOutcomeAndLeavesNothingOpen) {
    const AttemptCase& c = GetParam();
    FakePcsc pcsc;
    c.script(pcsc);
    const Outcome outcome = outcome_of(rfid::read_tag_uid_once(pcsc.api()));

    EXPECT_EQ(outcome.error, c.error);
    if (c.uid) {
        ASSERT_TRUE(outcome.uid);
        EXPECT_EQ(*outcome.uid, tag(*c.uid));
    } else {
        EXPECT_FALSE(outcome.uid);
    }
    if (!c.connected.empty()) {
        EXPECT_EQ(pcsc.connected_names, c.connected);
    }
    pcsc.expect_all_closed();
}

const std::string R0 = "Virtual PCD 00 00";
const std::string R1 = "Virtual PCD 00 01";

void two_readers(FakePcsc& p) {
    p.list = R0 + '\0' + R1 + '\0' + '\0';
    p.readers[R0] = Reader{rfid::CODE_REMOVED_CARD};
    p.readers[R1] = Reader{rfid::CODE_REMOVED_CARD};
}

INSTANTIATE_TEST_SUITE_P(
    Readers, ReadTagUidOnce,
    testing::Values(AttemptCase{"TagOnOnlyReader_YieldsItsUid", [](FakePcsc& p) { p.lay_tags({R0}, UID_A); },
                                UID_A},
                    AttemptCase{"TagsOnBothReaders_FirstInListWinsAndSecondIsNotTried",
                                [](FakePcsc& p) {
                                    two_readers(p);
                                    p.readers[R0] = Reader{rfid::CODE_SUCCESS, with_status(UID_A)};
                                    p.readers[R1] = Reader{rfid::CODE_SUCCESS, with_status(UID_B)};
                                },
                                UID_A,
                                {},
                                {R0}},
                    AttemptCase{"TagOnSecondReaderOnly_YieldsItsUid",
                                [](FakePcsc& p) {
                                    two_readers(p);
                                    p.readers[R1] = Reader{rfid::CODE_SUCCESS, with_status(UID_B)};
                                },
                                UID_B,
                                {},
                                {R0, R1}},
                    AttemptCase{"EmptyReaders_YieldNoTagAfterTryingEveryNameEmptyOnesIncluded",
                                two_readers,
                                {},
                                {},
                                {R0, R1, "", ""}},
                    AttemptCase{"OtherConnectCodeNextToEmptyReader_YieldsNoTag",
                                [](FakePcsc& p) {
                                    two_readers(p);
                                    p.readers[R0].connect = SHARING_VIOLATION;
                                }},
                    AttemptCase{"EveryConnectFailsWithOtherCodes_FailsToFindReaders",
                                [](FakePcsc& p) {
                                    two_readers(p);
                                    p.readers[R0].connect = SHARING_VIOLATION;
                                    p.readers[R1].connect = SHARING_VIOLATION;
                                },
                                {},
                                "Failed to find any readers"},
                    AttemptCase{"ListOfOnlyTheClosingNul_TriesTwoEmptyNamesAndFindsNoReader",
                                [](FakePcsc& p) { p.list = std::string(1, '\0'); },
                                {},
                                "Failed to find any readers",
                                {"", ""}},
                    AttemptCase{"NoServiceRunning_FailsToEstablish",
                                [](FakePcsc& p) { p.establish = NO_SERVICE; },
                                {},
                                "RFID: Failed to establish context (0x8010001d)"},
                    AttemptCase{"NoReaderAttached_FailsToList",
                                [](FakePcsc& p) { p.size_query = NO_READERS; },
                                {},
                                "RFID: Failed to list available readers (0x8010002e)"},
                    AttemptCase{"FetchOfTheListFails_FailsToList",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.fetch = NO_READERS;
                                },
                                {},
                                "RFID: Failed to list available readers (0x8010002e)"},
                    AttemptCase{"FourByteUid_IsAnUnexpectedResponse",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.readers[R0].reply = with_status({0x01, 0x02, 0x03, 0x04});
                                },
                                {},
                                "Unexpected response from RFID reader"},
                    // The buffer's last byte stays zero, so only the reported length tells this apart
                    // from a 7-byte UID with its status.
                    AttemptCase{"EightBytesEndingIn90_IsAnUnexpectedResponse",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.readers[R0].reply = {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x90};
                                },
                                {},
                                "Unexpected response from RFID reader"},
                    AttemptCase{"StatusWordOnly_IsAnUnexpectedResponse",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.readers[R0].reply = {0x6A, 0x81};
                                },
                                {},
                                "Unexpected response from RFID reader"},
                    AttemptCase{"SevenBytesWithErrorStatus_IsAnUnexpectedResponse",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.readers[R0].reply = with_status(UID_A, 0x63, 0x00);
                                },
                                {},
                                "Unexpected response from RFID reader"},
                    AttemptCase{"ReplyTooLongForTheBuffer_FailsToTransmit",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.readers[R0].reply = with_status(Bytes(8, 0x11));
                                },
                                {},
                                "RFID: Failed to transmit (0x80100008)"},
                    AttemptCase{"TransmitFailureOutranksFailingDisconnect",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.readers[R0].transmit = rfid::CODE_REMOVED_CARD;
                                    p.disconnect = INVALID_HANDLE;
                                },
                                {},
                                "RFID: Failed to transmit (0x80100069)"},
                    AttemptCase{"FailingDisconnectAfterGoodReply_StillYieldsUid",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.disconnect = INVALID_HANDLE;
                                },
                                UID_A},
                    AttemptCase{"FailingReleaseAfterGoodReply_StillYieldsUid",
                                [](FakePcsc& p) {
                                    p.lay_tags({R0}, UID_A);
                                    p.release = INVALID_HANDLE;
                                },
                                UID_A},
                    AttemptCase{"InvalidUtf8InTheList_FailsWithTheDecodingError",
                                [](FakePcsc& p) { p.list = std::string("Reader \xff") + '\0' + '\0'; },
                                {},
                                "Utf8Error { valid_up_to: 7, error_len: Some(1) }"}));

// ---- the reader list ------------------------------------------------------------------------

struct ListCase {
    std::string list;
    std::vector<std::string> names = {};
    std::string error = {};
    std::optional<std::uint32_t> fetched_size = {};

    friend void PrintTo(const ListCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.list) << " -> " << (c.error.empty() ? "names" : c.error);
    }
};

class ListReaderNames : public testing::TestWithParam<ListCase> {};

TEST_P(ListReaderNames, SplitsTheWholeBufferAtEveryNul) {
    const ListCase& c = GetParam();
    FakePcsc pcsc;
    pcsc.list = c.list;
    pcsc.fetched_size = c.fetched_size;
    const auto api = pcsc.api();
    rfid::ScardContext context = 0;
    ASSERT_EQ(api.establish_context(context), rfid::CODE_SUCCESS);

    const auto names = rfid::list_reader_names(context, api);
    if (c.error.empty()) {
        ASSERT_TRUE(names) << names.error().message;
        EXPECT_EQ(*names, c.names);
    } else {
        ASSERT_FALSE(names);
        EXPECT_EQ(names.error(), (base::Error{base::ErrorKind::Other, c.error}));
    }
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Buffers, ListReaderNames,
    testing::Values(
        // ReaderListWithOneName_YieldsTwoEmptyNames
        ListCase{"Reader A\0\0"s, {"Reader A", "", ""}},
        ListCase{"Reader A\0Reader B\0\0"s, {"Reader A", "Reader B", "", ""}}, ListCase{"", {""}},
        // the list shrank between the calls: the rest of the buffer gives more empty names
        ListCase{"Reader A\0\0\0\0"s, {"Reader A", "", "", "", ""}, {}, 10},
        ListCase{"Lecteur \xc3\xa9\0\0"s, {"Lecteur \xc3\xa9", "", ""}},
        ListCase{"\xff\0\0"s, {}, "Utf8Error { valid_up_to: 0, error_len: Some(1) }"},
        ListCase{"AB\xe2\x82"s, {}, "Utf8Error { valid_up_to: 2, error_len: None }"},
        ListCase{"AB\xe2\x82\0\0"s, {}, "Utf8Error { valid_up_to: 2, error_len: Some(2) }"},
        ListCase{"AB\xf0\x90\x80"s, {}, "Utf8Error { valid_up_to: 2, error_len: None }"},
        ListCase{"AB\xed\xa0\x80\0"s, {}, "Utf8Error { valid_up_to: 2, error_len: Some(1) }"},
        ListCase{"A\0\xc0\xaf\0"s, {}, "Utf8Error { valid_up_to: 2, error_len: Some(1) }"}));

TEST(ListReaderNamesEmpty, EmptyListIsFetchedIntoARealBufferNotANullOne) {
    FakePcsc pcsc;
    pcsc.fetch_buffer_was_null = true;  // cleared only by a fetch with a real buffer
    const auto api = pcsc.api();
    rfid::ScardContext context = 0;
    ASSERT_EQ(api.establish_context(context), rfid::CODE_SUCCESS);
    ASSERT_TRUE(rfid::list_reader_names(context, api));
    EXPECT_FALSE(pcsc.fetch_buffer_was_null);
}

// ---- connect and disconnect -----------------------------------------------------------------

TEST(ConnectReader, OtherCodeFailsNamingTheReaderAndCode) {
    FakePcsc pcsc;
    pcsc.readers[R0] = Reader{SHARING_VIOLATION};
    const auto api = pcsc.api();
    rfid::ScardContext context = 0;
    ASSERT_EQ(api.establish_context(context), rfid::CODE_SUCCESS);

    const auto refused = rfid::connect_reader(context, R0, api);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().message, "RFID: Failed to connect to Virtual PCD 00 00 (0x8010000b)");

    const auto empty_name = rfid::connect_reader(context, "", api);
    ASSERT_FALSE(empty_name);
    EXPECT_EQ(empty_name.error().message, "RFID: Failed to connect to  (0x80100009)");
}

TEST(ConnectReader, RemovedCardMeansNoCard) {
    FakePcsc pcsc;
    pcsc.readers[R0] = Reader{rfid::CODE_REMOVED_CARD};
    const auto api = pcsc.api();
    rfid::ScardContext context = 0;
    ASSERT_EQ(api.establish_context(context), rfid::CODE_SUCCESS);
    const auto result = rfid::connect_reader(context, R0, api);
    ASSERT_TRUE(result);
    EXPECT_FALSE(*result);
}

struct DisconnectCase {
    rfid::ScardCode disconnect;
    rfid::ScardCode release;
    std::string error = {};

    friend void PrintTo(const DisconnectCase& c, std::ostream* os) {
        *os << std::hex << c.disconnect << "/" << c.release;
    }
};

class DisconnectCard : public testing::TestWithParam<DisconnectCase> {};

TEST_P(DisconnectCard, AlwaysReleasesAndReportsTheDisconnectFirst) {
    const DisconnectCase& c = GetParam();
    FakePcsc pcsc;
    pcsc.lay_tags({R0}, UID_A);
    pcsc.disconnect = c.disconnect;
    pcsc.release = c.release;
    const auto api = pcsc.api();
    const auto connection = rfid::connect_first_card(api);
    ASSERT_TRUE(connection && *connection);

    const auto result = rfid::disconnect_card((*connection)->context, (*connection)->card, api);
    if (c.error.empty()) {
        EXPECT_TRUE(result);
    } else {
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error(), (base::Error{base::ErrorKind::Other, c.error}));
    }
    pcsc.expect_all_closed();
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DisconnectCard,
    testing::Values(DisconnectCase{0, 0},
                    DisconnectCase{INVALID_HANDLE, 0, "RFID: Failed to Disconnect (0x80100003)"},
                    DisconnectCase{INVALID_HANDLE, NO_SERVICE, "RFID: Failed to Disconnect (0x80100003)"},
                    DisconnectCase{0, NO_SERVICE, "RFID: Failed to Release Context (0x8010001d)"}));

// ---- polling --------------------------------------------------------------------------------

TEST(ReadTagUid, ZeroTimeout_FailsAtOnceWithoutAnAttempt) {
    FakePcsc pcsc;
    pcsc.lay_tags({R0}, UID_A);
    const auto result = rfid::read_tag_uid(0s, pcsc.api());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (base::Error{base::ErrorKind::Other, "Cannot get an RFID"}));
    EXPECT_EQ(pcsc.established, 0);
}

TEST(ReadTagUid, TagAlreadyLaidOn_IsReturnedByTheFirstAttempt) {
    FakePcsc pcsc;
    pcsc.lay_tags({R0}, UID_A);
    EXPECT_EQ(rfid::read_tag_uid(60s, pcsc.api()), tag(UID_A));
    EXPECT_EQ(pcsc.established, 1);
    pcsc.expect_all_closed();
}

// Every failing attempt is dropped: after the time-out only the one message reaches the caller.
struct FailingService {
    std::string name;
    std::function<void(FakePcsc&)> script;

    friend void PrintTo(const FailingService& c, std::ostream* os) { *os << c.name; }
};

class ReadTagUidTimesOut : public testing::TestWithParam<FailingService> {};

// The scripted service answers in microseconds, so attempts follow each other by far less than a
// millisecond. A pause of even one millisecond between attempts puts every gap at a millisecond or
// more; the median gap is that pause, whatever a loaded machine adds to a few of them.
TEST_P(ReadTagUidTimesOut, WithCannotGetAnRfidAfterBackToBackAttemptsLeavingNothingOpen) {
    constexpr auto timeout = 200ms;
    FakePcsc pcsc;
    GetParam().script(pcsc);
    rfid::PcscApi api = pcsc.api();
    std::vector<std::chrono::steady_clock::time_point> starts;
    api.establish_context = [&starts, establish = api.establish_context](rfid::ScardContext& context) {
        starts.push_back(std::chrono::steady_clock::now());
        return establish(context);
    };
    const auto result = rfid::read_tag_uid(timeout, api);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (base::Error{base::ErrorKind::Other, "Cannot get an RFID"}));
    ASSERT_GE(starts.size(), 3U);
    std::vector<std::chrono::steady_clock::duration> gaps;
    for (std::size_t i = 1; i < starts.size(); ++i) gaps.push_back(starts[i] - starts[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    EXPECT_LT(gaps[gaps.size() / 2], 1ms) << "attempts were paced, not back to back";
    pcsc.expect_all_closed();
}

INSTANTIATE_TEST_SUITE_P(Services, ReadTagUidTimesOut,
                         testing::Values(FailingService{"NoReader",
                                                        [](FakePcsc& p) { p.size_query = NO_READERS; }},
                                         FailingService{"EmptyReader", two_readers},
                                         FailingService{"FourByteUid",
                                                        [](FakePcsc& p) {
                                                            p.lay_tags({R0}, UID_A);
                                                            p.readers[R0].reply = with_status({1, 2, 3, 4});
                                                        }},
                                         FailingService{"TransmitFails", [](FakePcsc& p) {
                                                            p.lay_tags({R0}, UID_A);
                                                            p.readers[R0].transmit = INSUFFICIENT_BUFFER;
                                                            p.disconnect = INVALID_HANDLE;
                                                            p.release = INVALID_HANDLE;
                                                        }}));

TEST(ReadTagUid, TagLaidOnWhilePolling_IsReturnedByTheNextAttempt) {
    FakePcsc pcsc;
    two_readers(pcsc);
    rfid::PcscApi api = pcsc.api();
    // The tag arrives on the second reader as the 50th attempt starts.
    auto establish = api.establish_context;
    api.establish_context = [&pcsc, establish](rfid::ScardContext& context) {
        if (pcsc.established == 49) pcsc.readers[R1] = Reader{rfid::CODE_SUCCESS, with_status(UID_B)};
        return establish(context);
    };
    EXPECT_EQ(rfid::read_tag_uid(60s, api), tag(UID_B));
    EXPECT_EQ(pcsc.established, 50);
    pcsc.expect_all_closed();
}

TEST(ReadTagUid, ServiceComingBackWhilePolling_IsUsedByTheNextAttempt) {
    FakePcsc pcsc;
    pcsc.lay_tags({R0}, UID_A);
    pcsc.establish = NO_SERVICE;
    rfid::PcscApi api = pcsc.api();
    int attempts = 0;
    auto establish = api.establish_context;
    api.establish_context = [&](rfid::ScardContext& context) {
        if (++attempts == 20) pcsc.establish = rfid::CODE_SUCCESS;
        return establish(context);
    };
    EXPECT_EQ(rfid::read_tag_uid(60s, api), tag(UID_A));
    EXPECT_EQ(attempts, 20);
    pcsc.expect_all_closed();
}

}  // namespace
