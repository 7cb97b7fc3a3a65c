#pragma once

// The background part of deleting a change journal. NTFS answers FSCTL_DELETE_USN_JOURNAL
// at once and then walks the whole volume (going on across restarts); until that walk
// ends, every request on the journal fails with ERROR_JOURNAL_DELETE_IN_PROGRESS. Here the
// walk lasts a number of requests, or until it is finished by hand.
class SimJournalDeletion {
public:
    static constexpr int kUntilFinished = -1;

    void Begin(int requests) { left_ = requests < 0 ? kUntilFinished : requests; }
    void Finish() { left_ = 0; }
    bool InProgress() const { return left_ != 0; }
    // One request meets the deletion: answers whether it was still in progress.
    bool Meet() {
        if (left_ == 0) {
            return false;
        }
        if (left_ > 0) {
            --left_;
        }
        return true;
    }

private:
    int left_ = 0;
};
