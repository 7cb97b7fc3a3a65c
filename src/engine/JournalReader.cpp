#include "engine/JournalReader.h"

#include <algorithm>
#include <utility>

#include "engine/BatchWalk.h"

JournalReader::JournalAnswer JournalReader::QueryOrCreateJournal(VolumePlatform& platform,
                                                                 PlatformHandle volume,
                                                                 ntfs::UsnJournalDataV0& journal,
                                                                 std::uint32_t& error) {
    if (volume == kInvalidPlatformHandle) {
        error = 0;
        return JournalAnswer::kFailed;
    }
    // Query first: a create on a volume that has a journal sets it to the sizes given, and
    // would shrink one that an administrator or a backup product made large.
    ntfs::UsnJournalDataV0 queried{};
    std::uint32_t returned = 0;
    const auto query = [&] {
        return platform.DeviceIoControl(volume, ntfs::kFsctlQueryUsnJournal, nullptr, 0, &queried,
                                        sizeof queried, returned);
    };
    bool ready = query();
    error = ready ? 0 : platform.LastError();
    if (!ready && error == ntfs::kErrorJournalNotActive) {
        // Sizes of its own: for 0 and 0 the documentation defines nothing.
        const ntfs::CreateUsnJournalData create{kJournalMaximumSize, kJournalAllocationDelta};
        ready = platform.DeviceIoControl(volume, ntfs::kFsctlCreateUsnJournal, &create,
                                         sizeof create, nullptr, 0, returned) &&
                query();
        error = ready ? 0 : platform.LastError();
    }
    if (!ready) {
        return error == ntfs::kErrorJournalDeleteInProgress ? JournalAnswer::kBeingDeleted
                                                            : JournalAnswer::kFailed;
    }
    journal = queried;
    return JournalAnswer::kReady;
}

JournalReader::JournalReader(const WatchScope& scope, const ntfs::UsnJournalDataV0& journal,
                             const StopSignal& stop)
    : scope_(scope),
      journal_(journal),
      stop_(stop),
      classifier_(scope_),
      buffer_(kReadBufferSize, 0) {
    request_.ReasonMask = 0xFFFFFFFF;
    request_.StartUsn = journal_.NextUsn;
    passStart_ = handedOnUpTo_ = request_.StartUsn;
}

void JournalReader::Begin(std::optional<JournalPosition> resumeFrom) {
    classifier_.BeginPass();
    request_.StartUsn = journal_.NextUsn;  // the journal's next record when the watch began
    if (resumeFrom) {
        if (resumeFrom->journalId != journal_.UsnJournalID) {
            ReportGap(JournalGap::kReplaced, resumeFrom->usn, journal_.FirstUsn);
            request_.StartUsn = journal_.FirstUsn;
        } else if (resumeFrom->usn < journal_.FirstUsn) {
            ReportGap(JournalGap::kOverwrittenWhileAway, resumeFrom->usn, journal_.FirstUsn);
            request_.StartUsn = journal_.FirstUsn;
        } else {
            // No further than the journal has come.
            request_.StartUsn = std::min(resumeFrom->usn, journal_.NextUsn);
        }
    }
    passStart_ = handedOnUpTo_ = request_.StartUsn;
}

JournalReader::Turn JournalReader::ReadOnce() {
    return recovering_ ? Recover() : Read();
}

JournalReader::Turn JournalReader::Read() {
    std::uint32_t returned = 0;
    request_.UsnJournalID = journal_.UsnJournalID;
    if (!scope_.platform.DeviceIoControl(scope_.volume, ntfs::kFsctlReadUsnJournal, &request_,
                                         sizeof request_, buffer_.data(), kReadBufferSize,
                                         returned)) {
        readError_ = scope_.platform.LastError();
        recovering_ = true;
        // A read that fails right after a recovery pauses the next one, so that a failure
        // that persists does not spin a core.
        return {Outcome::kReadFailed, std::exchange(justRecovered_, false), std::nullopt};
    }
    justRecovered_ = false;
    returned = std::min(returned, kReadBufferSize);
    if (request_.StartUsn == 0) {
        NoteDropsBeforeTheFirstRecord(returned);
    }
    if (returned < 8) {
        return {Outcome::kIdle, true, std::nullopt};
    }
    // A stop during the walk ends the handing on at once: a consumer may take long, and
    // nobody wants the rest. The position is then the first record not handed on, so that
    // a watch resumed from it neither repeats nor skips a change.
    std::optional<std::int64_t> stoppedAt;
    journal::WalkBatch(buffer_.data(), returned, passStart_,
                       [&](const ntfs::UsnRecordV2& record) {
                           if (stoppedAt || stop_.IsSet()) {
                               stoppedAt = stoppedAt.value_or(record.Usn());
                               return;
                           }
                           classifier_.ClassifyRecord(record);
                       });
    request_.StartUsn = static_cast<std::int64_t>(ntfs::ReadU64(buffer_.data()));
    handedOnUpTo_ = stoppedAt.value_or(request_.StartUsn);
    return {returned == 8 ? Outcome::kIdle : Outcome::kRecords, returned == 8, std::nullopt};
}

JournalReader::Turn JournalReader::Recover() {
    const std::uint64_t previousId = journal_.UsnJournalID;
    std::uint32_t queryError = 0;
    switch (QueryOrCreateJournal(scope_.platform, scope_.volume, journal_, queryError)) {
        case JournalAnswer::kReady:
            break;
        case JournalAnswer::kBeingDeleted:
            // NTFS is still at it, which may take long on a large volume: ask again later,
            // for as long as it lasts.
            return {Outcome::kBeingDeleted, true, std::nullopt};
        case JournalAnswer::kFailed:
            return {Outcome::kEnded, false,
                    IsVolumeGoneError(readError_) || IsVolumeGoneError(queryError)
                        ? WatchEnd::kVolumeGone
                        : WatchEnd::kJournalUnavailable};
    }
    recovering_ = false;
    justRecovered_ = true;
    if (journal_.UsnJournalID == previousId) {
        // The same journal: when it dropped records the reader had not reached, that is
        // said once, and reading goes on from the oldest it still keeps.
        if (request_.StartUsn < journal_.FirstUsn) {
            ReportGap(JournalGap::kOverwritten, request_.StartUsn, journal_.FirstUsn);
            request_.StartUsn = journal_.FirstUsn;
        }
    } else {
        // A new journal: everything in it came after the old one, so all of it is read,
        // from its first record; the old names held belonged to the old one.
        ReportGap(JournalGap::kReplaced, request_.StartUsn, journal_.FirstUsn);
        request_.StartUsn = journal_.FirstUsn;
        classifier_.BeginPass();
    }
    passStart_ = handedOnUpTo_ = request_.StartUsn;
    return {Outcome::kRecovered, false, std::nullopt};
}

void JournalReader::ReportGap(JournalGap reason, std::int64_t firstLostUsn,
                              std::int64_t resumeUsn) {
    scope_.slots.Report({.kind = ChangeKind::Gap,
                         .dir = std::u16string(scope_.rootPath),
                         .why = static_cast<int>(reason),
                         .firstLostUsn = firstLostUsn,
                         .resumeUsn = resumeUsn});
}

void JournalReader::NoteDropsBeforeTheFirstRecord(std::uint32_t returned) {
    // Asked from Usn 0, the start of a journal that had written nothing when the watch
    // began, the volume answers from the oldest record it keeps: one past 0 means that the
    // records before it were dropped before they could be read (no error says so).
    ntfs::UsnRecordV2 first;
    if (returned > 8 &&
        ntfs::DecodeWalkable(buffer_.data() + 8, returned - 8, first) ==
            ntfs::RecordCheck::kRecord &&
        first.Usn() > 0) {
        ReportGap(JournalGap::kOverwritten, 0, first.Usn());
    }
}
