// The host messages of one QR purchase, as the host simulator exchanged them
// with the module (taken from its verbose transcript).
#include "bench/bench_inputs.h"

namespace benchInputs {

namespace {

// A small event: the printer has finished.
const char* const printReceiptEvent = R"xml(<?xml version="1.0" ?>
<VORTAXIS_BRIDGE>
 <VORTAXIS_SOURCE>PINPAD</VORTAXIS_SOURCE>
 <VORTAXIS_DESTINATION>Klarna</VORTAXIS_DESTINATION>
 <VORTAXIS_EVENT>
  <PrintReceiptEvent>
   <Result>00</Result>
  </PrintReceiptEvent>
 </VORTAXIS_EVENT>
</VORTAXIS_BRIDGE>
)xml";

// The host's reply to GetVariable for the token.
const char* const getVariableReply = R"xml(<?xml version="1.0" ?>
<VORTAXIS_BRIDGE>
 <VORTAXIS_SOURCE>VORTAXIS_DLL_HANDLER</VORTAXIS_SOURCE>
 <VORTAXIS_DESTINATION>Klarna</VORTAXIS_DESTINATION>
 <VORTAXIS_EVENT>
  <GetVariable>
   <Var_result>TOK7</Var_result>
  </GetVariable>
 </VORTAXIS_EVENT>
</VORTAXIS_BRIDGE>
)xml";

// The gateway reply that opens the payment session.
const char* const hostReceiveEvent = R"xml(<?xml version="1.0" ?>
<VORTAXIS_BRIDGE>
 <VORTAXIS_SOURCE>VORTAXIS_DLL_HANDLER</VORTAXIS_SOURCE>
 <VORTAXIS_DESTINATION>Klarna</VORTAXIS_DESTINATION>
 <VORTAXIS_EVENT>
  <HostReceiveEvent>
   <Result>00</Result>
   <Header>&lt;Header>&#10;&#32;&lt;MTYPE>160&lt;/MTYPE>&#10;&lt;/Header>&#10;</Header>
   <MTYPE>160</MTYPE>
   <Message>{"amt":1250,"currency":"AUD","hppsid":"HPP000001","hppstatus":"WAITING","mt":160,"paysid":"PAY000001","rc":"00","redirecturl":"https://pay.klarna.sim/hpp/HPP000001","ref":"POS0201","rt":"SESSION&#32;CREATED","stan":1,"trackinguid":"8bcf1630-5386-420b-a670-766b640b0a48","type":"O"}</Message>
  </HostReceiveEvent>
 </VORTAXIS_EVENT>
</VORTAXIS_BRIDGE>
)xml";

// A purchase request from the POS.
const char* const posDirectEntryPoint = R"xml(<?xml version="1.0" ?>
<VORTAXIS_BRIDGE>
 <VORTAXIS_SOURCE>POS</VORTAXIS_SOURCE>
 <VORTAXIS_DESTINATION>Klarna</VORTAXIS_DESTINATION>
 <VORTAXIS_EVENT>
  <PosDirectEntryPoint>
   <DoTransaction>
    <TxnType>P</TxnType>
    <AmtPurchase>1250</AmtPurchase>
    <CurrencyCode>AUD</CurrencyCode>
    <TxnRef>POS0201</TxnRef>
    <OriginalSource>POS</OriginalSource>
   </DoTransaction>
   <VORTAXIS_METHOD>DoTransaction</VORTAXIS_METHOD>
  </PosDirectEntryPoint>
 </VORTAXIS_EVENT>
</VORTAXIS_BRIDGE>
)xml";

// The result event handed to DllEndTransaction.
const char* const transactionEvent = R"xml(<?xml version="1.0" ?>
<VORTAXIS_BRIDGE>
 <VORTAXIS_SOURCE>Klarna</VORTAXIS_SOURCE>
 <VORTAXIS_DESTINATION>VORTAXIS_DLL_HANDLER</VORTAXIS_DESTINATION>
 <VORTAXIS_METHOD>
  <DllEndTransaction>
   <VORTAXIS_EVENT>
    <TransactionEvent>
     <ResponseType>210</ResponseType>
     <TxnType>P</TxnType>
     <Stan>000003</Stan>
     <Merchant>70</Merchant>
     <ResponseCode>00</ResponseCode>
     <ResponseText>TRANSACTION&#32;APPROVED</ResponseText>
     <Success>1</Success>
     <Caid/>
     <Date>081226</Date>
     <Time>115319</Time>
     <AmtPurchase>000001250</AmtPurchase>
     <CurrencyCode>AUD</CurrencyCode>
     <AmtCash>000000000</AmtCash>
     <AmtTip>000000000</AmtTip>
     <AmtTotal>000001250</AmtTotal>
     <CardName>70</CardName>
     <TxnRef>POS0201</TxnRef>
     <CsdReservedBool1>0</CsdReservedBool1>
     <CsdReservedString1>01000000</CsdReservedString1>
     <PurchaseAnalysisData>134HRC00200HRT008APPROVEDREF009KTX000003RFN039{"merchant":"70","orderid":"ORD000002"}UID0368bcf1630-5386-420b-a670-766b640b0a48AMT0041250</PurchaseAnalysisData>
     <OriginalSource>POS</OriginalSource>
     <OriginalProcessor>Klarna</OriginalProcessor>
     <m_Klarna>Payment</m_Klarna>
    </TransactionEvent>
   </VORTAXIS_EVENT>
  </DllEndTransaction>
 </VORTAXIS_METHOD>
</VORTAXIS_BRIDGE>
)xml";

// A receipt print request.
const char* const printReceiptRequest = R"xml(<?xml version="1.0" ?>
<VORTAXIS_BRIDGE>
 <VORTAXIS_SOURCE>Klarna</VORTAXIS_SOURCE>
 <VORTAXIS_DESTINATION>VORTAXIS_DLL_HANDLER</VORTAXIS_DESTINATION>
 <VORTAXIS_METHOD>
  <PrintReceipt>
   <Receipt>------------------------&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;KLARNA&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;Term&#32;ID:&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;TERM0001&#13;&#10;Ref&#32;No:&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;POS0201&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;PURCHASE:&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;Amount:&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;$12.50&#13;&#10;Currency:&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;AUD&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;Klarna&#32;Reference:&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;KTX000003&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;Payment&#32;Date&#32;Time:&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;2024-01-01&#32;10:00:04&#32;&#32;&#32;&#32;&#32;&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;TRANSACTION&#32;APPROVED&#32;00&#32;&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;KLA&#32;00&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;08/12/26&#32;11:53:19&#32;000003&#13;&#10;------------------------&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#32;&#13;&#10;</Receipt>
   <Printer>POS</Printer>
   <ReceiptType>C</ReceiptType>
  </PrintReceipt>
 </VORTAXIS_METHOD>
</VORTAXIS_BRIDGE>
)xml";

} // namespace

const std::vector<NamedText>& hostMessages() {
    static const std::vector<NamedText> messages = {
        {"printReceiptEvent", printReceiptEvent}, {"getVariableReply", getVariableReply},
        {"hostReceiveEvent", hostReceiveEvent},   {"posDirectEntryPoint", posDirectEntryPoint},
        {"transactionEvent", transactionEvent},   {"printReceiptRequest", printReceiptRequest},
    };
    return messages;
}

} // namespace benchInputs
