#include "app/fuse_command.h"

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/endings.h"
#include "avr/avr.h"
#include "core/activity.h"
#include "core/ids.h"
#include "devices/fuse_tables.h"
#include "platform/texts.h"

namespace ostrel::app {

namespace {

using devices::FuseByte;
using devices::kFuseByteCount;

CommandResult Fail(Programmer& p, const std::string& why) {
    p.state.errorText.Assign(why);
    core::ReportFailure(p);
    return CommandResult::Failed;
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// The bits of one byte that the edits so far set, their values, and the
// edit that set them first.
struct EditBits {
    uint8_t mask = 0;
    uint8_t value = 0;
    std::string edit;
};

// Notes the bits `edit` sets in `claimed`. Two edits that give one bit two
// values ("low=0xFF,CKDIV8=0", "low=0xFF,low=0xE2") are refused rather than
// the last one taken unseen: empty, or the problem in a user's words. The
// bits an edit sets are those it leaves alike in bytes of all zeros and of
// all ones.
std::string ClaimBits(const devices::FuseChip& chip, std::string_view edit,
                      std::array<EditBits, kFuseByteCount>& claimed) {
    std::array<uint8_t, kFuseByteCount> zeros{};
    std::array<uint8_t, kFuseByteCount> ones{};
    ones.fill(0xFF);
    std::array<bool, kFuseByteCount> unused{};
    devices::ApplyFuseEdit(chip, edit, zeros, unused);
    devices::ApplyFuseEdit(chip, edit, ones, unused);
    for (int b = 0; b < kFuseByteCount; ++b) {
        const auto mask = static_cast<uint8_t>(~(zeros[b] ^ ones[b]) & chip.used[b]);
        if (mask == 0)
            continue;
        EditBits& c = claimed[b];
        if (((c.value ^ zeros[b]) & c.mask & mask) != 0)
            return "\"" + c.edit + "\" and \"" + std::string(edit) + "\" give bits of the " +
                   std::string(devices::FuseByteName(static_cast<FuseByte>(b))) +
                   " byte two values; name each bit once.";
        if (c.mask == 0)
            c.edit = edit;
        c.mask |= mask;
        c.value = static_cast<uint8_t>((c.value & ~mask) | (zeros[b] & mask));
    }
    return {};
}

// The lock byte goes last: once locked, the chip takes no more fuse writes.
constexpr std::array<FuseByte, kFuseByteCount> kWriteOrder = {FuseByte::kLow, FuseByte::kHigh,
                                                              FuseByte::kExtended, FuseByte::kLock};

CommandResult Body(Programmer& p, const FuseRequest& request, std::string& report) {
    core::UsualStart(p);
    if (avr::Connect(p) != 0) {
        // Connect's own text, with its hint shown once after it.
        if (p.state.errorText.empty())
            p.state.errorText.Assign("No connection to the chip.");
        core::ReportFailure(p);
        return CommandResult::Failed;
    }
    const devices::FuseChip* chip = devices::FindFuseChip(p.state.signatureHex.view());
    if (chip == nullptr)
        return Fail(p, "There is no fuse table for the chip with the signature " +
                           std::string(p.state.signatureHex.view()) +
                           ": its fuses cannot be read or written by name.");
    std::array<uint8_t, kFuseByteCount> old{};
    for (int b = 0; b < kFuseByteCount; ++b)
        if (devices::HasByte(*chip, static_cast<FuseByte>(b)))
            old[b] = avr::ReadFuseByte(p, *chip, static_cast<FuseByte>(b));
    std::array<uint8_t, kFuseByteCount> wanted = old;
    if (!request.edits.empty() || request.factory) {
        std::array<bool, kFuseByteCount> touched{};
        if (request.factory)
            devices::ApplyFactoryFuses(*chip, wanted, touched);
        std::string_view edits = request.edits;
        std::array<EditBits, kFuseByteCount> claimed{};
        while (!edits.empty()) {
            const size_t comma = edits.find(',');
            const std::string_view edit = edits.substr(0, comma);
            const std::string problem = devices::ApplyFuseEdit(*chip, edit, wanted, touched);
            if (!problem.empty())
                return Fail(p, problem + ". Nothing was written.");
            if (std::string clash = ClaimBits(*chip, edit, claimed); !clash.empty())
                return Fail(p, clash + " Nothing was written.");
            edits = comma == std::string_view::npos ? std::string_view{} : edits.substr(comma + 1);
        }
        // A locked chip (lock mode 2 or 3) takes no fuse write and would
        // only read back the old byte: told as locked, before anything is
        // sent. More lock bits may still be programmed.
        bool fuseChanges = false;
        for (FuseByte byte : kWriteOrder) {
            const int b = static_cast<int>(byte);
            fuseChanges |= byte != FuseByte::kLock && touched[b] &&
                           ((old[b] ^ wanted[b]) & chip->used[b]) != 0;
        }
        if (fuseChanges && avr::CheckLockAllows(p, avr::ChipAccess::Program) != 0) {
            core::ReportFailure(p);
            return CommandResult::Failed;
        }
        // Judge every byte before the first is written.
        for (FuseByte byte : kWriteOrder) {
            const int b = static_cast<int>(byte);
            const uint8_t mask = chip->used[b];
            if (!touched[b] || ((old[b] ^ wanted[b]) & mask) == 0)
                continue;
            const devices::GuardResult verdict =
                avr::JudgeFuseWrite(p, chip, byte, old[b], wanted[b]);
            const std::string what = "The " + std::string(devices::FuseByteName(byte)) + " byte " +
                                     Hex(wanted[b]) + ": " + verdict.words;
            if (verdict.verdict == devices::GuardVerdict::kRefuse && !request.allowLockout)
                return Fail(p, what + " Refused (--allow-lockout writes it).");
            // --allow-lockout is the insistence itself: no second question.
            if (verdict.verdict == devices::GuardVerdict::kAsk &&
                p.windows.MessageBox(ids::kNoOwner, what + "\n\nWrite it?", texts::kTitleWarning,
                                     MsgButtons::OkCancel, MessageKind::Warning) != MsgResult::Ok) {
                core::SetActivityField(p, " ");
                return CommandResult::Cancelled;
            }
        }
        for (FuseByte byte : kWriteOrder) {
            const int b = static_cast<int>(byte);
            if (!touched[b] || ((old[b] ^ wanted[b]) & chip->used[b]) == 0)
                continue;
            core::SetActivityField(
                p, "Writing the " + std::string(devices::FuseByteName(byte)) + " byte");
            avr::WriteFuseByte(p, *chip, byte, static_cast<uint8_t>(wanted[b] | ~chip->used[b]));
        }
    }
    // The report is handed over only when every byte read back as wanted.
    std::string lines;
    uint8_t lock = 0xFF;
    for (int b = 0; b < kFuseByteCount; ++b) {
        const auto byte = static_cast<FuseByte>(b);
        if (!devices::HasByte(*chip, byte))
            continue;
        const uint8_t now = avr::ReadFuseByte(p, *chip, byte);
        if (((now ^ wanted[b]) & chip->used[b]) != 0)
            return Fail(p, "The " + std::string(devices::FuseByteName(byte)) + " byte reads " +
                               Hex(now) + " where " + Hex(wanted[b]) + " was expected.");
        if (byte == FuseByte::kLock)
            lock = now;
        lines += devices::DescribeFuseByte(*chip, byte, now);
        lines += '\n';
    }
    if (!avr::StillAnswersAfterFuses(p, *chip, lock))
        return Fail(p, "The chip no longer answers as it did: the bytes read are not sure.");
    report += lines;
    if (!ShowOk(p))
        return CommandResult::Failed;
    return CommandResult::Ok;
}

}  // namespace

CommandResult RunFuses(Programmer& p, const FuseRequest& request, std::string& report) {
    return RunAsCommand(p, ids::kFuses, [&](Programmer& q) { return Body(q, request, report); });
}

CommandResult RestoreFactoryFuses(Programmer& p, bool allowLockout, std::string& report) {
    FuseRequest request;
    request.allowLockout = allowLockout;
    request.factory = true;
    return RunFuses(p, request, report);
}

}  // namespace ostrel::app
