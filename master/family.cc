// Family grouping: moving a customer into a representative's family and
// recounting a family. The database counts when Execute runs the queue.
#include "batch/writer_support.h"
#include "platform/text/number.h"

namespace kvt710 {
namespace {

// A key is written bare as passed, so it must be a key number.
void RequirePlainKey(const std::string& key, const char* name) {
  sql::Render(sql::Form::kKey, key, name, DateTime{});
}

// Sets the representative's count to its live members other than itself.
std::string CountStatement(const std::string& key) {
  return "Update CBASE Set CUBS_FAMILY_CNT= (Select Count(*) From CBASE Where CUBS_FAMILY_KEY=" +
         key + " And CUBS_UNIQUE_KEY<>" + key +
         " And CUBS_DATA_FLG='0') Where CUBS_UNIQUE_KEY=" + key;
}

}  // namespace

int32_t KVT710C3::FamilyCnt_Update(const std::string& UniqueKey) {
  return Guarded("FamilyCnt_Update", ErrorList::kCaller, [&] {
    StatementQueue& queue = EnsureQueue();
    RequirePlainKey(UniqueKey, "UniqueKey");
    queue.Append(CountStatement(UniqueKey));
  });
}

int32_t KVT710C3::FamilyUpdate(const std::string& DaihyoKey, const std::string& KazokuKey) {
  return Guarded("FamilyUpdate", ErrorList::kCaller, [&] {
    // Keys that are not numbers at all are no error: nothing to move.
    if (!text::IsNumeric(KazokuKey) || !text::IsNumeric(DaihyoKey)) return;
    RequirePlainKey(DaihyoKey, "DaihyoKey");
    RequirePlainKey(KazokuKey, "KazokuKey");
    std::string move =
        "Update CBASE Set CUBS_FAMILY_KEY = " + DaihyoKey + " Where CUBS_UNIQUE_KEY=" + KazokuKey;
    std::string count = CountStatement(DaihyoKey);
    StatementQueue& queue = EnsureQueue();
    queue.Append(std::move(move));
    queue.Append(std::move(count));
  });
}

}  // namespace kvt710
