// Custom columns of the plugin's panel: how many members an entry has, its first and last number, what is missing.
#pragma once

#include <cstdint>

namespace tallyrun {

// The host's field types and value answers.
inline constexpr int32_t ft_nomorefields = 0;
inline constexpr int32_t ft_numeric_32 = 1;
inline constexpr int32_t ft_string = 8;
inline constexpr int32_t ft_nosuchfield = -1;
inline constexpr int32_t ft_fileerror = -2;
inline constexpr int32_t ft_fieldempty = -3;

// The fields, in the order the host asks for them.
enum content_field : int32_t { field_members, field_first, field_last, field_missing, field_count };

// Field field_index's name ("Members", "First", "Last", "Missing", at most
// max_length - 1 bytes) and empty units, and its type; ft_nomorefields after
// the last. Nothing is written for an index out of range.
int32_t FsContentGetSupportedField(int32_t field_index, char* field_name, char* units, int32_t max_length);

// The value of a field for the entry file_name names ("\C:\shots\shotA_0001-0005.exr"):
// - Members: the number of real files (ft_numeric_32, 4 bytes written); 1 for a single file.
// - First, Last: a run's first and last number as written ("0001"), ft_string.
// - Missing: the numbers absent between a run's last member and the next file
//   of the same pattern (the same text around a number field of the same
//   width, case ignored), written like the run's numbers: "0006" or
//   "0006-0009", ft_string.
// A single file's First, Last and Missing, a run with nothing missing and any
// field of a folder give ft_fieldempty; an unknown entry ft_fileerror; an
// unknown field ft_nosuchfield. Values come from the kept listing of the
// entry's folder (listed afresh when there is none); a string is cut to
// max_length - 1 bytes.
int32_t FsContentGetValue(const char* file_name, int32_t field_index, int32_t unit_index, void* value,
                          int32_t max_length, int32_t flags);
int32_t FsContentGetValueW(const char16_t* file_name, int32_t field_index, int32_t unit_index, void* value,
                           int32_t max_length, int32_t flags);

// No field stands in for a size, date or attributes: 0 for every field (and for -1, all of them).
int32_t FsContentGetSupportedFieldFlags(int32_t field_index);

// The panel's default view for the plugin: Name, Size, Date, Members, Missing.
// Each text is cut to max_length - 1 bytes; answers 1.
int32_t FsContentGetDefaultView(char* contents, char* headers, char* widths, char* options, int32_t max_length);

// The host is about to unload the plugin: the kept listings go.
void FsContentPluginUnloading();

}  // namespace tallyrun
