// Every message text of the program, in one place. Callers hand these to
// say() with their arguments; low-level calls only return a status.
#pragma once

namespace trevox::msg {

// clang-format off
#define TVX "Trevox==>  "

inline constexpr const char* version_text = "1.2a";
inline constexpr const char* version_date_text = "March 14, 2000";
inline constexpr const char* prefix = TVX;

// Run flow, banners and usage
inline constexpr const char* banner_version   = TVX "Ver. %s   %s \n";
inline constexpr const char* banner_title     = TVX "Trevox Source Code \n";
inline constexpr const char* run_title        = TVX "Reformat Visual Basic Source Code \n";
inline constexpr const char* banner_credit    = TVX "Written and maintained by the Trevox developers \n";
inline constexpr const char* banner_email     = TVX "Mail: see the README of your Trevox copy \n";
inline constexpr const char* banner_verbose   = TVX "Verbose Mode (/v Option) \n";
inline constexpr const char* banner_cwd       = TVX "Current Working Directory is %s \n";
inline constexpr const char* usage_version    = TVX "Trevox  Ver. %s of %s \n";
inline constexpr const char* usage_lines[] = {
    "\n",
    TVX "Usage: Trevox  SourceFileName  [Options] \n",
    "\n",
    TVX "Options (See also the Trevox.ini file): \n",
    TVX "   /t   - Pack Tight -- invokes the \n",
    TVX "          /b and /c options \n",
    TVX "   /b   - Remove Blank Lines \n",
    TVX "   /c   - Remove Comments \n",
    TVX "   /l   - List Mode -- show scrolling list of activity \n",
    TVX "   /v   - Verbose Mode -- pause after processing each file \n",
    TVX "   /?   - List all the options.   \n",
    TVX "          Used by itself, without filenames \n",
    TVX "Note: Options are not case sensitive \n",
    "\n",
    TVX "For the latest updates and product information: \n",
    TVX "   Web: the Trevox project page \n",
    TVX "   Mail: the Trevox developers \n",
};
inline constexpr const char* confirm_lines[] = {
    TVX "This program will, at a minimum, remove all leading \n",
    TVX "blanks and tabs from the input file(s). \n",
    TVX "Are you sure you want to continue (Y-N)? \n",
};
// On standard error, before anything is done.
inline constexpr const char* unknown_option   = TVX "Unknown option %s; nothing was changed \n";
inline constexpr const char* unknown_option_hint = TVX "trevox --help shows the usage \n";
inline constexpr const char* no_terminal =
    TVX "Trevox needs a terminal to ask for confirmation (or /y to answer it); nothing was changed \n";
inline constexpr const char* bad_source_date_epoch =
    TVX "SOURCE_DATE_EPOCH must hold whole seconds since 1970 (digits only), not \"%s\" \n";
inline constexpr const char* press_enter      = TVX "Press Enter to continue \n";
inline constexpr const char* invalid_input    = TVX "Invalid Input File Name \n";
inline constexpr const char* no_processing    = TVX "No processing occured \n\n";
inline constexpr const char* completed        = TVX "Trevox  Ver. 1.2a Completed \n";
inline constexpr const char* copyright        = TVX "Copyright (c) 2000 the Trevox developers \n";

// Opening and writing files
inline constexpr const char* unable_open_read   = TVX "Unable to open %s for reading \n";
inline constexpr const char* probably_not_exist = TVX "The file probably doesn't exist \n\n";
inline constexpr const char* unable_open_write  = TVX "Unable to open %s for writing \n";
inline constexpr const char* disk_probably_full = TVX "The disk is probably full \n";
inline constexpr const char* error_writing_output = TVX "Error writing the output file \n";
inline constexpr const char* disk_drive_may_be_full = TVX "Disk drive may be full \n";
inline constexpr const char* disk_may_be_full   = TVX "Disk may be full \n";

// Source-file job
inline constexpr const char* error_creating_backup = TVX "Error creating backup file for %s \n\n";
inline constexpr const char* copying_to_temp    = TVX "Copying   %s --> %s \n";
inline constexpr const char* copying_back       = TVX "Copying   %s --> %s \n\n";
inline constexpr const char* renaming           = TVX "Renaming  %s --> %s \n\n";
inline constexpr const char* unable_to_read     = TVX "Unable to read %s \n";
inline constexpr const char* program_will_abort_1 = TVX "Program will abort \n";
inline constexpr const char* program_will_abort = TVX "Program will abort \n\n";
inline constexpr const char* program_will_continue = TVX "Program will continue \n\n";
inline constexpr const char* error_detected     = TVX "An error has been detected during processing %s! \n";
inline constexpr const char* input_not_altered  = TVX "The Input file will not be altered \n";
inline constexpr const char* see_distorted      = TVX "See the %s file for the distorted output \n";
inline constexpr const char* contact_report     = TVX "Please report the problem to the Trevox developers \n";
inline constexpr const char* contact_web        = TVX "Updates: the Trevox project page \n";
inline constexpr const char* thank_you          = TVX "Thank you \n\n";
inline constexpr const char* error_on_delete    = TVX "Error on delete of %s file \n";
inline constexpr const char* error_on_rename    = TVX "Error on renaming of %s file to %s \n";
inline constexpr const char* output_will_be_in  = TVX "Output will be in %s \n";
inline constexpr const char* contact_notify     = TVX "Please notify the Trevox developers \n\n";

// Backups and restore script
inline constexpr const char* restore_open_failed = TVX "Unable to open Restore.bat for writing \n";
inline constexpr const char* program_aborted     = TVX "Program aborted \n";
inline constexpr const char* restore_write_failed = TVX "Unable to write to Restore.bat file \n";
inline constexpr const char* backup_source_open  = TVX "Unable to Open Source File %s to make backup copy \n\n";
inline constexpr const char* backup_dest_create  = TVX "Unable to Create Destination File %s \n\n";
inline constexpr const char* backup_write_error  = TVX "Write Error on Output File %s \n";
inline constexpr const char* backup_clash        = TVX "Backup file %s already holds the backup of %s made in this run \n";
inline constexpr const char* backup_not_overwritten = TVX "A backup made in this run is never overwritten \n\n";
inline constexpr const char* backup_is_source    = TVX "Backup file %s is the source file itself \n\n";
inline constexpr const char* restore_sh_write_failed = TVX "Unable to write to Restore.sh file \n";

// Folder locks: one run at a time in a folder
inline constexpr const char* folder_busy         = TVX "Folder %s is in use by another Trevox run \n";
inline constexpr const char* folder_unlockable   = TVX "Unable to lock folder %s for this run \n";

// Input sets
inline constexpr const char* no_match_found = TVX "No Match Found for %s \n";

// Check, diff and filter. Their results on standard output are plain lines,
// without the message prefix; their messages go to standard error.
inline constexpr const char* would_reformat    = "would reformat %s\n";
inline constexpr const char* line_ends_only    = "only the line ends of %s would change (to %s)\n";
inline constexpr const char* line_ends_crlf    = "CR LF";
inline constexpr const char* line_ends_lf      = "LF";
inline constexpr const char* unable_read_stdin = TVX "Unable to read standard input \n";
inline constexpr const char* unable_write_stdout = TVX "Unable to write standard output \n";
inline constexpr const char* filter_takes_no_name =
    TVX "The filter reads standard input and takes no name: %s \n";
inline constexpr const char* options_conflict =
    TVX "%s and %s cannot be used together; nothing was changed \n";

// Settings file
inline constexpr const char* ini_unable_open      = TVX "Unable to open %s for reading. \n\n";
inline constexpr const char* ini_must_be_placed   = TVX "The Trevox.INI file must be placed \n";
inline constexpr const char* ini_directory        = TVX "in the %s directory to be used. \n\n";
inline constexpr const char* ini_will_continue    = TVX "Trevox will continue; using internal defaults and Command Line \n";
inline constexpr const char* ini_options_as_parms = TVX "Options as parameters \n\n";
inline constexpr const char* ini_invalid_record   = TVX "Invalid User Parameter Record \n";
inline constexpr const char* ini_record_text      = "%s \n";

// Activity log
inline constexpr const char* log_open_failed   = TVX "Unable to open Trevox.log for writing \n";
inline constexpr const char* log_write_error   = TVX "Write error on Trevox.log \n";
inline constexpr const char* program_will_continue_1 = TVX "Program will continue \n";

#undef TVX
// clang-format on

} // namespace trevox::msg
