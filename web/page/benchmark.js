// The page's benchmark: ?benchmark or ?benchmark=SECONDS in the address runs
// `knoll --benchmark`, and its report shows beside the view when it ends,
// with a button to copy it, one to download the frames' CSV and a link back
// to Knoll with the address's other parameters.
import {ADDRESS_BENCHMARK} from "../knoll-boundary.js";
import {withoutParameter} from "./address.js";
import {el} from "./dom.js";
import {offerDownload} from "./log.js";

// ------------------------------------------------------------ functions ----

// The finished benchmark's report under the canvas, with its buttons and
// link (KNOLL_HOOKS.REPORT).
export function showReport(text, csv) {
  el("benchmark-back").href = "?" + withoutParameter(window.location.search, ADDRESS_BENCHMARK);
  const box = el("benchmark-report");
  box.querySelector("pre").textContent = text;
  el("benchmark-copy").onclick = (event) => {
    navigator.clipboard.writeText(text).then(
      () => { event.target.textContent = "Copied"; },
      () => { event.target.textContent = "Copy refused: select the text instead"; });
  };
  el("benchmark-csv").onclick = () => offerDownload("knoll-benchmark.csv", csv, "text/csv");
  box.hidden = false;
  document.body.dataset.benchmark = "done";
}
