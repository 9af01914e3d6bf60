// The record file's primitives over files held in memory (memory_files.h),
// with POSIX's meaning: a name leads to a file, handles keep a file whose
// name went, rename replaces in one step. No folders, links or signals:
// every name is a file of its own, and the guards have nothing to do.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "record/file_system.h"
#include "record/memory_files.h"

namespace {

struct memory_file {
  std::string bytes;
  std::intptr_t locked_by = -1;  // the handle holding the lock
};

struct open_handle {
  std::uint64_t file = 0;
  std::size_t offset = 0;
  bool written = false;  // something was written through it
};

struct memory_disk {
  std::map<std::uint64_t, memory_file> files;
  std::map<std::string, std::uint64_t, std::less<>> names;
  std::map<std::intptr_t, open_handle> handles;
  std::uint64_t next_file = 1;
  std::intptr_t next_handle = 3;
  memory_fault fault;
  std::size_t bytes_written = 0;
  bool fault_happened = false;
};

memory_disk disk;

// Whether the primitive `point` fails now; notes that it did.
bool fails(memory_fault_point point) {
  if (disk.fault.point != point) return false;
  disk.fault_happened = true;
  return true;
}

open_handle* handle_of(const record_handle& file) {
  const auto found = disk.handles.find(file.value);
  return found == disk.handles.end() ? nullptr : &found->second;
}

const std::uint64_t* file_named(std::string_view name) {
  const auto found = disk.names.find(name);
  return found == disk.names.end() ? nullptr : &found->second;
}

std::uint64_t new_file() {
  disk.files[disk.next_file] = {};
  return disk.next_file++;
}

void open_handle_on(std::uint64_t file, record_handle& handle) {
  handle.value = disk.next_handle++;
  disk.handles[handle.value] = open_handle{file, 0, false};
}

void fill_facts(std::uint64_t file, file_facts& facts) {
  facts = {};
  facts.id.volume = 1;
  facts.id.file[0] = file;
  facts.kind = file_kind::regular;
  facts.size = disk.files[file].bytes.size();
  facts.links = 0;
  for (const auto& [name, named] : disk.names) {
    if (named == file) ++facts.links;
  }
}

// Writes `bytes` at the handle's offset, as far as a write fault lets them.
bool put_bytes(open_handle& handle, std::string_view bytes, int& error) {
  std::size_t put = bytes.size();
  if (disk.fault.point == memory_fault_point::write) {
    const std::size_t limit = disk.fault.bytes_before;
    put = std::min(put, limit - std::min(disk.bytes_written, limit));
  }
  std::string& content = disk.files[handle.file].bytes;
  if (content.size() < handle.offset + put) content.resize(handle.offset + put);
  content.replace(handle.offset, put, bytes.substr(0, put));
  handle.offset += put;
  handle.written = true;
  disk.bytes_written += put;
  if (put == bytes.size()) return true;
  disk.fault_happened = true;
  error = ENOSPC;
  return false;
}

}  // namespace

void reset_memory_files(const memory_fault& fault) {
  disk = memory_disk{};
  disk.fault = fault;
}

void put_memory_file(const std::string& name, std::string_view bytes) {
  const std::uint64_t file = new_file();
  disk.files[file].bytes = bytes;
  disk.names[name] = file;
}

const std::string* memory_file_content(std::string_view name) {
  const std::uint64_t* file = file_named(name);
  return file == nullptr ? nullptr : &disk.files[*file].bytes;
}

std::vector<std::string> memory_file_names() {
  std::vector<std::string> names;
  for (const auto& [name, file] : disk.names) names.push_back(name);
  return names;
}

std::size_t open_memory_handles() { return disk.handles.size(); }

std::size_t locked_memory_files() {
  std::size_t locked = 0;
  for (const auto& [id, file] : disk.files) locked += file.locked_by != -1;
  return locked;
}

bool memory_fault_happened() { return disk.fault_happened; }

bool same_file(const file_identity& a, const file_identity& b) {
  return a.volume == b.volume && a.file[0] == b.file[0] &&
         a.file[1] == b.file[1];
}

int open_for_writing(const char* name, record_handle& file, bool& created) {
  const std::uint64_t* named = file_named(name);
  created = named == nullptr;
  const std::uint64_t opened = created ? new_file() : *named;
  if (created) disk.names[name] = opened;
  record_handle handle;
  open_handle_on(opened, handle);
  file = std::move(handle);
  return 0;
}

int create_new_file(const char* name, record_handle& file) {
  if (file_named(name) != nullptr) return EEXIST;
  if (fails(memory_fault_point::create_new)) return EACCES;
  const std::uint64_t created = new_file();
  disk.names[name] = created;
  open_handle_on(created, file);
  return 0;
}

int facts_of(const record_handle& file, file_facts& facts) {
  const open_handle* handle = handle_of(file);
  if (handle == nullptr) return EBADF;
  fill_facts(handle->file, facts);
  return 0;
}

int facts_of_name(const char* name, file_facts& facts) {
  const std::uint64_t* named = file_named(name);
  if (named == nullptr) return ENOENT;
  fill_facts(*named, facts);
  return 0;
}

// The standard streams are a terminal, on a volume of their own.
int facts_of_standard_stream(int stream, file_facts& facts) {
  facts = {};
  facts.id.file[0] = static_cast<std::uint64_t>(stream);
  facts.kind = file_kind::other;
  return 0;
}

int lock_file(record_handle& file) {
  const open_handle* handle = handle_of(file);
  if (handle == nullptr) return 0;
  std::intptr_t& holder = disk.files[handle->file].locked_by;
  if (holder != -1 && holder != file.value) return refused_other_writer;
  holder = file.value;
  return 0;
}

std::string replaced_name(const char* name) { return name; }

std::size_t last_component_start(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

int copy_metadata(const record_handle&, record_handle&) { return 0; }

void set_delete_at_close(record_handle&, bool) {}

bool write_file(record_handle& file, std::string_view bytes, int& error) {
  open_handle* handle = handle_of(file);
  if (handle == nullptr) {
    error = EBADF;
    return false;
  }
  return put_bytes(*handle, bytes, error);
}

int empty_file(record_handle& file) {
  const open_handle* handle = handle_of(file);
  if (handle == nullptr) return EBADF;
  disk.files[handle->file].bytes.clear();
  return 0;
}

int sync_file(record_handle& file) {
  if (handle_of(file) == nullptr) return EBADF;
  return fails(memory_fault_point::sync) ? EIO : 0;
}

int sync_entry(const char*, record_handle&) {
  return fails(memory_fault_point::entry_sync) ? EIO : 0;
}

int replace_file(const char* new_name, const char* name, record_handle&) {
  const std::uint64_t* named = file_named(new_name);
  if (named == nullptr) return ENOENT;
  if (fails(memory_fault_point::rename)) return EACCES;
  disk.names[name] = *named;
  disk.names.erase(disk.names.find(new_name));
  return 0;
}

void remove_file(record_handle& file, const char* name) {
  const open_handle* handle = handle_of(file);
  const std::uint64_t* named = file_named(name);
  if (handle != nullptr && named != nullptr && *named == handle->file) {
    disk.names.erase(disk.names.find(name));
  }
  close_file(file);
}

int remove_leftover(const char* name) {
  const auto found = disk.names.find(std::string_view(name));
  if (found == disk.names.end()) return ENOENT;
  disk.names.erase(found);
  return 0;
}

// Closed whatever the outcome; a close fault fails only a file written to.
int close_file(record_handle& file) {
  const auto found = disk.handles.find(file.value);
  file.value = -1;
  if (found == disk.handles.end()) return EBADF;
  const auto [value, handle] = *found;
  disk.handles.erase(found);
  std::intptr_t& holder = disk.files[handle.file].locked_by;
  if (holder == value) holder = -1;
  return handle.written && fails(memory_fault_point::close) ? EIO : 0;
}

void guard_unwritten(const record_handle&, const char*, bool) {}
void guard_written(const record_handle&, const char*, const char*,
                   const record_handle&) {}
void end_record_guard() {}

const char* name_refusal(std::string_view) { return nullptr; }
