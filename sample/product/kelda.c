/* KELDA, the product's translation tool, as the sample package ships it: it
 * answers a report request the way the diagnostics window expects. Started
 * as
 *     KELDA.EXE -sti <stored-input file>
 * (the file name quoted when it holds a blank), it reads the stored-input
 * file (line 1 the request "RPT", line 2 the report file to write), writes a
 * short report about itself and its input there, and ends. It shows no
 * window. Exit codes: 0 report written, 2 bad command line, 3 unreadable or
 * malformed input, 4 report not written. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "flavour_markers.h"

/* The executable's own flavour, as the product's diagnostics detect it. */
VX_FLAVOUR_MARKERS(VX_MARKERS_NEW_FUJITSU);

enum { kLineMax = 1024 };

/* Reads the next line of `file` without its line end; 0 at the end. */
static int ReadLine(FILE* file, char* line) {
  size_t length;
  if (fgets(line, kLineMax, file) == NULL) return 0;
  length = strlen(line);
  while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
  return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  char request[kLineMax] = "";
  char report_path[kLineMax] = "";
  char options[kLineMax] = "";
  char self[MAX_PATH] = "";
  char directory[MAX_PATH] = "";
  SYSTEMTIME now;
  FILE* input;
  FILE* report;
  int i;
  (void)instance;
  (void)previous;
  (void)command_line;

  if (__argc != 3 || lstrcmpiA(__argv[1], "-sti") != 0) return 2;
  input = fopen(__argv[2], "rb");
  if (input == NULL) return 3;
  if (!ReadLine(input, request) || !ReadLine(input, report_path)) {
    fclose(input);
    return 3;
  }
  ReadLine(input, options);
  fclose(input);
  if (lstrcmpA(request, "RPT") != 0 || report_path[0] == 0) return 3;

  /* The work of a translation run takes a moment; the window stays usable. */
  Sleep(700);

  GetModuleFileNameA(NULL, self, sizeof self);
  GetCurrentDirectoryA(sizeof directory, directory);
  GetLocalTime(&now);
  report = fopen(report_path, "wb");
  if (report == NULL) return 4;
  fprintf(report, "KELDA 1.5 translation tool (VESTRIX sample package)\r\n");
  fprintf(report, "Program file: %s\r\n", self);
  fprintf(report, "Working directory: %s\r\n", directory);
  fprintf(report, "Window shown as: %d\r\n", show);
  fprintf(report, "Stored-input file: %s\r\n", __argv[2]);
  fprintf(report, "Request: %s\r\n", request);
  fprintf(report, "Report file: %s\r\n", report_path);
  fprintf(report, "Options: \"%s\"\r\n", options);
  fprintf(report, "Runtime markers:");
  for (i = 0; i < (int)(sizeof kFlavourMarkers[0]) && kFlavourMarkers[0][i] != 0; ++i) {
    const char c = kFlavourMarkers[0][i];
    /* One blank-separated list: "A\nB\n" becomes " A B". */
    if (i == 0 || kFlavourMarkers[0][i - 1] == '\n') fputc(' ', report);
    if (c != '\n') fputc(c, report);
  }
  fprintf(report, "\r\n");
  fprintf(report, "Models translated: 0\r\n");
  fprintf(report, "Report written %04u-%02u-%02u %02u:%02u:%02u\r\n", now.wYear, now.wMonth,
          now.wDay, now.wHour, now.wMinute, now.wSecond);
  /* The last two lines are the tool's trailer, which readers leave out. */
  fprintf(report, "---\r\n");
  fprintf(report, "END KELDA\r\n");
  if (fclose(report) != 0) return 4;
  return 0;
}
