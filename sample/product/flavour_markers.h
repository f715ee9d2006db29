/* The runtime-library marker texts the product's executables carry, so that
 * the diagnostics can tell which compiler family built each one. The sample
 * programs are all built with GCC; they carry the markers of the family they
 * stand for.
 *
 * A scanner reads an executable in 2048-byte blocks and does not see a text
 * that straddles two blocks. The markers are therefore stored twice, 1024
 * bytes apart: whatever the offset, one copy lies wholly inside a block. */
#ifndef VX_SAMPLE_FLAVOUR_MARKERS_H
#define VX_SAMPLE_FLAVOUR_MARKERS_H

/* KELDA: the product's own name and the LF95 runtime's texts. */
#define VX_MARKERS_NEW_FUJITSU "VESTRIX\nLF95V\n_ILLIGAL_\nDEADLOCK ERROR\n"
/* SORVIN: the old Lahey F77 runtime with its DOS extender. */
#define VX_MARKERS_OLD_LAHEY "LAHEY COMPUTER SYSTEMS INC.\n386|VMM\n32-bit power\n"
/* MIRELT: the product's own name and the Intel Fortran runtime. */
#define VX_MARKERS_INTEL "VESTRIX\nIntel Fortran\n"

#define VX_FLAVOUR_MARKERS(text) \
  __attribute__((used)) static const char kFlavourMarkers[2][1024] = {text, text}

#endif
