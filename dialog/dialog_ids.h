/* Ids of the settings dialog's template and controls: the one list that the
   dialog's code, its resource script and the tests all read. Plain macros,
   so that the resource compiler's preprocessor takes them too. */
#pragma once

#define IDD_SETTINGS 101          /* dialog template */
#define IDC_GAIN_SLIDER 101       /* 0..100 */
#define IDC_THRESHOLD_SLIDER 103  /* 0..255 */
#define IDC_PREVIEW 104           /* push button */
#define IDC_GAMMA 105             /* edit box */
#define IDC_SCURVE 106            /* check box "S-type curve" */
#define IDC_BYPASS_TITLES 107     /* check box "bypass titles" */
#define IDC_GAIN_READOUT 120      /* static */
#define IDC_THRESHOLD_READOUT 121 /* static */
#define IDC_LABEL 0xFFFF          /* the labels: no id */
