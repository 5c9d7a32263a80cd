#include "mainwin/file_list.h"

#include <wx/settings.h>

#include <algorithm>
#include <mutex>

#include "mainwin/list_logic.h"
#include "resources/resource_module.h"
#include "ui/display_text.h"

namespace qb {

namespace {
constexpr std::size_t HeaderChars = 199;
constexpr int FileImage = 0;
constexpr int FolderImage = 1;
constexpr int MinFirstColumn = 60;
}  // namespace

FileListView::FileListView() : images_(16, 16, true, 1) {}

void FileListView::Attach(VirtualListCtrl* list) {
  list_ = list;
  images_.Add(ResourceModule::Icon(20));
  images_.Add(ResourceModule::Icon(10));
  const auto header = [](int string) { return ResourceModule::String(string).Left(HeaderChars); };
  list_->InsertColumn(0, header(102), wxLIST_FORMAT_LEFT, 145);
  list_->InsertColumn(1, header(109), wxLIST_FORMAT_RIGHT, 40);
  list_->InsertColumn(2, header(104), wxLIST_FORMAT_RIGHT, 65);
  list_->InsertColumn(3, header(103), wxLIST_FORMAT_RIGHT, 100);
  list_->SetImageList(&images_, wxIMAGE_LIST_SMALL);
  list_->text = [this](long row, long column) { return Text(row, column); };
  list_->image = [this](long row) {
    const ListingEntry* e = EntryOfRow(row);
    return !e ? -1 : e->isFolder ? FolderImage : FileImage;
  };
}

const ListingEntry* FileListView::EntryOfRow(long row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
  return &entries_[rows_[row]];
}

wxString FileListView::Text(long row, long column) const {
  const ListingEntry* e = EntryOfRow(row);
  if (!e) return wxString();
  switch (column) {
    case 0:
      return ToDisplayText(e->name);
    case 1: {
      std::string ext;
      return !e->isFolder && FileExtension(e->name, &ext) ? ToDisplayText(ext) : wxString();
    }
    case 2: {
      char size[16];
      return e->isFolder ? wxString() : wxString(FormatFileSize(e->size, size, sizeof size));
    }
    case 3:
      return ToDisplayText(e->date);
    default:
      return wxString();
  }
}

void FileListView::Empty() {
  list_->SelectOnly({});
  list_->SetItemCount(0);
  entries_.clear();
  rows_.clear();
  list_->Refresh();
}

ListingCounts FileListView::Fill(const SiteEntry& site) {
  Empty();
  {
    std::lock_guard<std::mutex> hold(ListingLock);
    entries_ = site.listing;
  }
  ListingCounts counts;
  rows_.resize(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    rows_[i] = static_cast<int>(i);
    const ListingEntry& e = entries_[i];
    if (e.isFolder) {
      ++counts.folders;
    } else {
      ++counts.files;
      counts.totalSize += static_cast<float>(e.size);
    }
  }
  list_->SetItemCount(static_cast<long>(rows_.size()));
  Sort(CompNameFile, 1);
  return counts;
}

void FileListView::Sort(const TLwComparator& comparator, int flag) {
  const ListingEntry* chosen = Selected();
  std::stable_sort(rows_.begin(), rows_.end(), [&](int a, int b) {
    return comparator.compare(reinterpret_cast<intptr_t>(&entries_[a]),
                              reinterpret_cast<intptr_t>(&entries_[b]), flag) < 0;
  });
  if (chosen) {
    const long row =
        std::find(rows_.begin(), rows_.end(), chosen - entries_.data()) - rows_.begin();
    list_->SelectOnly({row});
    list_->EnsureVisible(row);
  }
  list_->Refresh();
}

const ListingEntry* FileListView::Selected() const {
  const long row = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  return EntryOfRow(row);
}

std::vector<const ListingEntry*> FileListView::SelectedEntries() const {
  std::vector<const ListingEntry*> entries;
  for (const long row : list_->SelectedRows()) {
    if (const ListingEntry* e = EntryOfRow(row)) entries.push_back(e);
  }
  return entries;
}

void FileListView::FitColumns(int firstColumnWidth) {
  int others = 0;
  for (int column = 1; column < list_->GetColumnCount(); ++column)
    others += list_->GetColumnWidth(column);
  // Room for a vertical scroll bar, so that one showing up cuts nothing.
  const int room = list_->GetClientSize().x - others - wxSystemSettings::GetMetric(wxSYS_VSCROLL_X);
  list_->SetColumnWidth(0, std::max(MinFirstColumn, std::min(firstColumnWidth, room)));
}

}  // namespace qb
