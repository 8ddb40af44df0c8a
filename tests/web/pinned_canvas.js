// The canvas at the page's top-left corner at the window size Knoll asks
// for, as a desktop window would sit, so that screenshots and pointer
// positions fall on whole pixels and a frame has the native build's size.
// A style sheet for the end-to-end driver and the benchmark.
"use strict";

module.exports = "#frame { position: fixed !important; left: 0; top: 0; z-index: 1; }" +
  " #frame:not(:fullscreen) #canvas { width: calc(var(--knoll-width) * 1px); }";
